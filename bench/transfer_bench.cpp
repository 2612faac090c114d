// Speed and memory of the two table transfers against an ASE server (the test
// server on loopback, started by transfer_bench.sh), each next to the
// cheapest way of doing the same work by hand.
//
//   transfer_bench SOURCE.mdb TABLE EMPTY.mdb WORKDIR HOST:PORT USER PASSWORD DATABASE ROWS...
//
// For each row count (each in a child process of its own, so that one count's
// memory does not hide another's), untimed: a copy of EMPTY gets a table
// "Bench" holding the first ROWS rows of TABLE in SOURCE, and the INSERT texts
// the transfer to ASE will send are built from it with the transfer's own
// column and literal rules. Then, in each of VQ_BENCH_ROUNDS rounds (3 unless
// set), timed:
//
//   raw ct-lib      one ct-lib connection sends those texts one at a time
//                   (ct_command, ct_send, ct_results to the end), after the
//                   same CREATE TABLE; then the table is dropped.
//   to ASE          SendTablesToAse sends "Bench", as the button does.
//   to Access       SendTablesToAccess brings it back into a fresh copy of
//                   EMPTY, its Close (the checkpoint) included.
//   engine INSERT   the INSERT texts that transfer sent, built once from the
//                   server's rows (untimed), go through DatabaseSession::Execute
//                   into another fresh copy of EMPTY, Close included: the
//                   engine's own figure, as write_bench measures it.
//
// VQ_BENCH_BATCH_ROWS, when set, is how many rows the transfers hand their
// worker thread in one call (1: a call per row); unset, the program's own.
//
// The machine is shared, so each round's figures are printed and the fastest
// round of each phase is compared: the one least disturbed by other work.
//
// Memory: before each phase the peak resident size is reset to the current
// one (Linux /proc/self/clear_refs); the growth printed is the largest of the
// phase's rounds above its start. Prepared texts are part of the start.
#include <ctpublic.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ase_bench_support.h"
#include "bench_support.h"
#include "dataaccess/command_env.h"
#include "dataaccess/connection_settings.h"
#include "dataaccess/error.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/session.h"
#include "dataaccess/type_names.h"
#include "dataaccess/value.h"
#include "transfer/statement_text.h"
#include "transfer/transfer.h"

namespace {

using namespace vq::bench;

using Clock = std::chrono::steady_clock;

// One timed phase: wall and processor time, resident size at its start and
// its peak.
class Phase {
 public:
  // Hands freed memory back, makes the peak the current size and starts the clocks.
  void Start() {
    malloc_trim(0);
    int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd >= 0) {
      if (::write(fd, "5", 1) != 1) std::fprintf(stderr, "transfer_bench: cannot reset the peak\n");
      ::close(fd);
    }
    start_kb_ = StatusKb("VmRSS");
    cpu_ = CpuSeconds();
    start_ = Clock::now();
  }
  void Stop() {
    seconds_ = std::chrono::duration<double>(Clock::now() - start_).count();
    cpu_ = CpuSeconds() - cpu_;
    peak_kb_ = StatusKb("VmHWM");
  }
  double seconds() const { return seconds_; }
  // Takes the largest peak growth of `rounds` as this phase's.
  void KeepLargestGrowth(const std::vector<Phase>& rounds) {
    for (const Phase& p : rounds) {
      if (p.peak_kb_ - p.start_kb_ > peak_kb_ - start_kb_) {
        start_kb_ = p.start_kb_;
        peak_kb_ = p.peak_kb_;
      }
    }
  }

  void Print(const char* name, long rows) const {
    std::printf("  %-15s %7.2f s %8.0f rows/s  %6.2f s cpu  RSS at start %6.1f MB, peak +%.1f MB\n",
                name, seconds_, rows / (seconds_ > 0 ? seconds_ : 1e-9), cpu_, start_kb_ / 1024.0,
                (peak_kb_ - start_kb_) / 1024.0);
  }

 private:
  Clock::time_point start_;
  double seconds_ = 0, cpu_ = 0;
  long start_kb_ = 0, peak_kb_ = 0;
};

std::string CopyOf(const std::string& file, const std::string& to) {
  std::filesystem::remove(to);
  std::filesystem::copy_file(file, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return to;
}

// Fills `target` (a copy of the empty file) with table Bench: the first
// `rows` rows of `table` in `source`. Returns the rows copied.
long MakeSlice(const std::string& source, const std::string& table, const std::string& target,
               long rows) {
  vq::DatabaseSession from;
  from.Open(AccessString(source));
  vq::RecordSet rs;
  rs.Open("SELECT * FROM " + Quoted(table, '`'), from);
  vq::DatabaseSession to;
  to.Open(AccessString(target));
  const long copied = CopyBenchRows(rs, to, rows);
  to.Close();
  return copied;
}

// The statements the transfer to Access sends for the server's table Bench,
// as it builds them: every non-null value a quoted text, bytes into OLE
// columns bare, NULL for nulls and empty texts.
std::vector<std::string> AccessStatements(const std::string& ase, bool takes_bigint) {
  vq::DatabaseSession db;
  db.Open(ase);
  vq::RecordSet rs;
  rs.Open("SELECT * FROM [Bench]", db);
  const vq::Fields fields = rs.Fields();
  const int n = fields.Count();
  std::vector<vq::AccessColumnKind> kinds;
  std::string create = "CREATE TABLE `Bench`(";
  for (int k = 0; k < n; ++k) {
    const vq::FieldInfo& info = fields.Item(k).Info();
    const std::string type =
        vq::LowerCase(vq::DataTypeName(static_cast<int16_t>(info.type)).value_or(""));
    const vq::AccessColumn c = vq::AccessColumnFor(type, info, takes_bigint);
    kinds.push_back(c.kind);
    create += "`" + fields.Item(k).Name() + c.suffix;
  }
  create.back() = ')';
  std::vector<std::string> out{create + ";"};
  for (; !rs.Eof(); rs.MoveNext()) {
    std::string sql = "INSERT INTO `Bench` VALUES(";
    for (int k = 0; k < n; ++k) {
      if (k) sql += ", ";
      const vq::Value& v = fields.Item(k).Value();
      const std::string text = vq::ToText(v);
      if (text.empty()) {
        sql += "NULL";
      } else if (kinds[k] == vq::AccessColumnKind::kBinary &&
                 std::holds_alternative<vq::Bytes>(v)) {
        sql += text;
      } else {
        sql += vq::QuotedText(text);
      }
    }
    out.push_back(sql + ")");
  }
  return out;
}

// The rows of table Bench in an Access file.
int64_t CountInAccess(const std::string& file) {
  vq::DatabaseSession db;
  db.Open(AccessString(file));
  vq::RecordSet rs;
  rs.Open("SELECT * FROM `Bench`", db);
  return rs.RecordCount();
}

// Runs one transfer of table Bench as its button does; returns the reports shown.
int Transfer(const vq::FixedConnectionSettings& settings, bool to_ase,
             const vq::TransferOptions& options = {}) {
  vq::ScriptedDialogs dialogs;
  vq::CountingYielder yielder;
  vq::MemoryTableList list1, list2;
  vq::MemoryProgressBar bar;
  vq::MemoryPointer pointer;
  vq::MemoryTableList& source = to_ase ? list1 : list2;
  source.AddItem("Bench");
  source.SetSelected(0, true);
  source.SetListIndex(0);
  const vq::CommandEnv env{settings, dialogs, yielder};
  const vq::TablesWindow window{list1, list2, bar, pointer};
  const int failures = to_ase ? vq::SendTablesToAse(env, window, options)
                              : vq::SendTablesToAccess(env, window, options);
  for (const auto& shown : dialogs.messages) {
    std::fprintf(stderr, "transfer_bench: %s\n", shown.text.substr(0, 400).c_str());
  }
  return failures;
}

// The fastest of a phase's rounds (the one least disturbed by other work on
// the machine), with the largest memory growth any round had.
Phase Best(const std::vector<Phase>& rounds) {
  Phase best = rounds.front();
  for (const Phase& p : rounds) {
    if (p.seconds() < best.seconds()) best = p;
  }
  best.KeepLargestGrowth(rounds);
  return best;
}

int RunCount(const std::string& source, const std::string& table, const std::string& empty,
             const std::string& workdir, const Server& server, long wanted, int rounds) {
  const std::string tag = std::to_string(wanted);
  const std::string slice = CopyOf(empty, workdir + "/transfer_bench_src_" + tag + ".mdb");
  const std::string back = workdir + "/transfer_bench_back_" + tag + ".mdb";
  const std::string engine = workdir + "/transfer_bench_engine_" + tag + ".mdb";
  const long rows = MakeSlice(source, table, slice, wanted);

  vq::FixedConnectionSettings settings;
  settings.Set(vq::Setting::kAseServer, server.host);
  settings.Set(vq::Setting::kAsePort, server.port);
  settings.Set(vq::Setting::kAseUser, server.user);
  settings.Set(vq::Setting::kAsePassword, server.password);
  settings.Set(vq::Setting::kAseDatabase, server.database);
  const std::string ase = vq::BuildSybaseConnectionString(settings);

  vq::TransferOptions options;
  if (const char* batch = std::getenv("VQ_BENCH_BATCH_ROWS")) {
    options.batch_rows = static_cast<size_t>(std::max(1, std::atoi(batch)));
  }

  std::vector<Phase> raw(rounds), to_ase(rounds), to_access(rounds), insert(rounds);
  int failures = 0;
  int64_t on_server = 0, in_access = 0;
  {
    RawLink link(server);
    link.Run("DROP TABLE [Bench]");  // left by an interrupted run, or nothing
  }
  std::vector<std::string> to_ase_texts = AseStatements(slice);
  size_t bytes = 0;
  for (const std::string& t : to_ase_texts) bytes += t.size();
  std::printf(
      "%ld rows of [%s], ASE INSERT texts %.1f MB (%.0f bytes a statement), %zu rows a worker "
      "call, best of %d\n",
      rows, table.c_str(), bytes / 1048576.0, static_cast<double>(bytes) / (rows ? rows : 1),
      options.batch_rows, rounds);
  std::vector<std::string> to_access_texts;
  for (int r = 0; r < rounds; ++r) {
    // The raw loop and the transfer take turns, so that a slow moment of the
    // machine falls on both alike.
    {
      RawLink link(server);
      if (!link.Run(to_ase_texts[0])) throw std::runtime_error("the raw CREATE TABLE was refused");
      long refused = 0;
      raw[r].Start();
      for (size_t i = 1; i < to_ase_texts.size(); ++i) refused += link.Run(to_ase_texts[i]) ? 0 : 1;
      raw[r].Stop();
      if (refused) std::printf("  raw ct-lib: %ld statements refused\n", refused);
      link.Run("DROP TABLE [Bench]");
    }

    settings.Set(vq::Setting::kAccessFile, slice);
    to_ase[r].Start();
    failures += Transfer(settings, true, options);
    to_ase[r].Stop();
    on_server = CountOnServer(ase);

    CopyOf(empty, back);
    settings.Set(vq::Setting::kAccessFile, back);
    to_access[r].Start();
    failures += Transfer(settings, false, options);
    to_access[r].Stop();
    in_access = CountInAccess(back);

    CopyOf(empty, engine);
    {
      vq::DatabaseSession db;
      db.Open(AccessString(engine));
      if (to_access_texts.empty())
        to_access_texts = AccessStatements(ase, db.TakesColumnType("BIGINT"));
      db.Execute(to_access_texts[0]);
      insert[r].Start();
      for (size_t i = 1; i < to_access_texts.size(); ++i) db.Execute(to_access_texts[i]);
      db.Close();
      insert[r].Stop();
    }
    RawLink link(server);
    link.Run("DROP TABLE [Bench]");
    std::printf(
        "  round %d: raw ct-lib %.2f s, to ASE %.2f s (%.3f); engine INSERT %.2f s, to Access "
        "%.2f s (%.3f)\n",
        r + 1, raw[r].seconds(), to_ase[r].seconds(), to_ase[r].seconds() / raw[r].seconds(),
        insert[r].seconds(), to_access[r].seconds(), to_access[r].seconds() / insert[r].seconds());
  }

  const Phase best_raw = Best(raw), best_to_ase = Best(to_ase), best_to_access = Best(to_access),
              best_insert = Best(insert);
  best_raw.Print("raw ct-lib", rows);
  best_to_ase.Print("to ASE", rows);
  best_to_access.Print("to Access", rows);
  best_insert.Print("engine INSERT", rows);
  std::printf(
      "  best to ASE / best raw ct-lib %.3f (target 1.1); best to Access / best engine INSERT "
      "%.3f; rows on the server %lld, in Access %lld; %d reports\n",
      best_to_ase.seconds() / best_raw.seconds(), best_to_access.seconds() / best_insert.seconds(),
      static_cast<long long>(on_server), static_cast<long long>(in_access), failures);
  std::fflush(stdout);
  for (const std::string& f : {slice, back, engine}) std::filesystem::remove(f);
  return failures == 0 && on_server == rows && in_access == rows ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 10) {
    std::fprintf(stderr,
                 "usage: transfer_bench SOURCE.mdb TABLE EMPTY.mdb WORKDIR HOST:PORT USER "
                 "PASSWORD DATABASE ROWS [ROWS ...]\n");
    return 2;
  }
  const std::string source = argv[1], table = argv[2], empty = argv[3], workdir = argv[4];
  const std::string address = argv[5];
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos) {
    std::fprintf(stderr, "transfer_bench: the server must be HOST:PORT\n");
    return 2;
  }
  const Server server{address.substr(0, colon), address.substr(colon + 1), argv[6], argv[7],
                      argv[8]};
  // Rounds per count: VQ_BENCH_ROUNDS, 3 unless set.
  const char* rounds_env = std::getenv("VQ_BENCH_ROUNDS");
  const int rounds = rounds_env ? std::max(1, std::atoi(rounds_env)) : 3;
  int status = 0;
  for (int a = 9; a < argc; ++a) {
    const long rows = std::atol(argv[a]);
    if (RunInChild("transfer_bench", [&] {
          return RunCount(source, table, empty, workdir, server, rows, rounds);
        }) != 0)
      status = 1;
  }
  return status;
}
