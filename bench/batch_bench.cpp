// Rows a second of the transfer to ASE with one statement a round trip and
// with many rows a command, against servers that hold each reply back as a
// network would, next to a bare ct-lib loop sending one INSERT a round trip.
//
//   batch_bench SOURCE.mdb|- WORKDIR ROWS USER PASSWORD DATABASE DELAY_US=HOST:PORT...
//
// Untimed: a new Access file in WORKDIR gets a table "Bench" holding the first
// ROWS rows of table Bench of SOURCE, or, when SOURCE is "-" or absent, ROWS
// rows of the same columns made here (values of the same kinds and sizes).
// Then for each server, given with the reply delay it was started with, in
// each of VQ_BENCH_ROUNDS rounds (1 unless set), timed:
//
//   raw ct-lib     one ct-lib connection sends the INSERT texts the transfer
//                  sends, one at a time (ct_command, ct_send, ct_results to
//                  the end), after the same CREATE TABLE.
//   one at a time  SendTablesToAse with combine_statements off: one INSERT a
//                  round trip, as the button did before.
//   batched        SendTablesToAse as the program runs it: the INSERTs of a
//                  batch go as one command.
//
// The table is dropped after each. The fastest round of each phase is
// printed, with batched against one at a time; the targets are at least 10
// times at a delay of 500 microseconds and at least 2 times without a delay.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ase_bench_support.h"
#include "bench_support.h"
#include "dataaccess/command_env.h"
#include "dataaccess/connection_settings.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/session.h"
#include "jet/database.h"
#include "transfer/transfer.h"

namespace {

using namespace vq::bench;
using Clock = std::chrono::steady_clock;

// The columns of the benchmark table, as the shared benchmark file has them.
constexpr const char* kBenchColumns =
    "`ID` LONG, `IntCol` SHORT, `LongCol` LONG, `TextCol` TEXT(100), `MemoCol` MEMO, "
    "`DoubleCol` DOUBLE, `MoneyCol` CURRENCY, `DateCol` DATETIME, `BoolCol` BIT, "
    "`NumCol` DECIMAL(18,4), `OleCol` LONGBINARY";

// Row `i` (from 1) of a table like the benchmark file's: deterministic values
// of the same kinds and sizes, every 50th memo long, some nulls.
std::string MadeRow(long i) {
  const unsigned long mix = (static_cast<unsigned long>(i) * 2654435761UL) % 2147483647UL;
  std::string memo;
  const int repeats = i % 50 == 0 ? 80 : 18;
  for (int r = 0; r < repeats; ++r) memo += "memo-" + std::to_string(i) + " ";
  char ole[64];
  std::snprintf(ole, sizeof ole, "0x%08lX%08lX%08lX", mix, mix ^ 0x5A5A5A5AUL, mix >> 3);
  char num[64];
  std::snprintf(num, sizeof num, "%s%ld.%04ld", mix % 2 ? "-" : "",
                static_cast<long>(mix % 9999999), static_cast<long>(mix % 10000));
  const long minutes = i;
  char date[160];
  std::snprintf(date, sizeof date, "#%04ld-%02ld-%02ld %02ld:%02ld:%02ld#", 2000 + minutes / 525600,
                1 + (minutes / 43200) % 12, 1 + (minutes / 1440) % 28, (minutes / 60) % 24,
                minutes % 60, i % 60);
  std::string row = "INSERT INTO `Bench` VALUES(" + std::to_string(i) + ", " +
                    std::to_string(i % 32768) + ", " + std::to_string(mix) + ", " +
                    Quoted("text value " + std::to_string(i) + " éü", '\'') + ", ";
  row += i % 97 == 0 ? "NULL" : Quoted(memo, '\'');
  row += ", " + std::to_string(static_cast<double>(i) / 3.0) + ", " + std::to_string(i) + ".37, " +
         date + ", " + (i % 2 ? "True" : "False") + ", " + num + ", ";
  row += i % 89 == 0 ? "NULL" : ole;
  return row + ")";
}

// Makes `target` with table Bench: the first `rows` rows of Bench in
// `source`, or rows made here when there is no source. Returns the rows.
long MakeSource(const std::string& source, const std::string& target, long rows) {
  std::filesystem::remove(target);
  jet::Database::Create(target, jet::NewFormat::kAccess2003, "");
  vq::DatabaseSession to;
  to.Open(AccessString(target));
  long made = 0;
  if (source.empty()) {
    to.Execute(std::string("CREATE TABLE `Bench` (") + kBenchColumns + ")");
    for (; made < rows; ++made) to.Execute(MadeRow(made + 1));
    to.Close();
    return made;
  }
  vq::DatabaseSession from;
  from.Open(AccessString(source));
  vq::RecordSet rs;
  rs.Open("SELECT * FROM `Bench`", from);
  made = CopyBenchRows(rs, to, rows);
  to.Close();
  return made;
}

// Sends table Bench to the server as the button does, with `combine`; the
// seconds it took. Reports shown are printed and counted into `failures`.
double TimedTransfer(const vq::FixedConnectionSettings& settings, bool combine, int& failures) {
  vq::ScriptedDialogs dialogs;
  vq::CountingYielder yielder;
  vq::MemoryTableList list1, list2;
  vq::MemoryProgressBar bar;
  vq::MemoryPointer pointer;
  list1.AddItem("Bench");
  list1.SetSelected(0, true);
  list1.SetListIndex(0);
  const vq::CommandEnv env{settings, dialogs, yielder};
  const vq::TablesWindow window{list1, list2, bar, pointer};
  vq::TransferOptions options;
  options.combine_statements = combine;
  const auto start = Clock::now();
  failures += vq::SendTablesToAse(env, window, options);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (const auto& shown : dialogs.messages) {
    std::fprintf(stderr, "batch_bench: %s\n", shown.text.substr(0, 400).c_str());
  }
  return seconds;
}

double Rate(long rows, double seconds) {
  return rows / (seconds > 0 ? seconds : 1e-9);
}

// Runs the three phases against one server; 0 when every row arrived each time.
int RunServer(const std::string& file, const std::vector<std::string>& texts, long rows,
              const Server& server, const std::string& delay, int rounds) {
  vq::FixedConnectionSettings settings;
  settings.Set(vq::Setting::kAccessFile, file);
  settings.Set(vq::Setting::kAseServer, server.host);
  settings.Set(vq::Setting::kAsePort, server.port);
  settings.Set(vq::Setting::kAseUser, server.user);
  settings.Set(vq::Setting::kAsePassword, server.password);
  settings.Set(vq::Setting::kAseDatabase, server.database);
  const std::string ase = vq::BuildSybaseConnectionString(settings);
  {
    RawLink link(server);
    link.Run("DROP TABLE [Bench]");  // left by an interrupted run, or nothing
  }
  double raw = 1e300, single = 1e300, batched = 1e300;
  int failures = 0;
  bool all_arrived = true;
  for (int r = 0; r < rounds; ++r) {
    {
      RawLink link(server);
      if (!link.Run(texts[0])) throw std::runtime_error("the raw CREATE TABLE was refused");
      long refused = 0;
      const auto start = Clock::now();
      for (size_t i = 1; i < texts.size(); ++i) refused += link.Run(texts[i]) ? 0 : 1;
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      raw = std::min(raw, seconds);
      if (refused) std::printf("  raw ct-lib: %ld statements refused\n", refused);
      link.Run("DROP TABLE [Bench]");
    }
    for (const bool combine : {false, true}) {
      const double seconds = TimedTransfer(settings, combine, failures);
      (combine ? batched : single) = std::min(combine ? batched : single, seconds);
      all_arrived = all_arrived && CountOnServer(ase) == rows;
      RawLink link(server);
      link.Run("DROP TABLE [Bench]");
    }
  }
  const double target = delay == "0" ? 2 : 10;
  std::printf("reply delay %s us:\n", delay.c_str());
  std::printf("  raw ct-lib, one INSERT a round trip %9.0f rows/s  (%.2f s)\n", Rate(rows, raw),
              raw);
  std::printf("  transfer, one statement a round trip %8.0f rows/s  (%.2f s)\n", Rate(rows, single),
              single);
  std::printf("  transfer, batched                  %10.0f rows/s  (%.2f s)\n", Rate(rows, batched),
              batched);
  std::printf(
      "  batched / one at a time %.1f times (target at least %.0f); batched / raw ct-lib %.1f "
      "times; %s; %d reports\n",
      single / batched, target, raw / batched,
      all_arrived ? "every row arrived each time" : "ROWS MISSING on the server", failures);
  std::fflush(stdout);
  return failures == 0 && all_arrived ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr,
                 "usage: batch_bench SOURCE.mdb|- WORKDIR ROWS USER PASSWORD DATABASE "
                 "DELAY_US=HOST:PORT...\n");
    return 2;
  }
  std::string source = argv[1];
  const std::string workdir = argv[2];
  const long wanted = std::atol(argv[3]);
  if (source == "-" || !std::filesystem::exists(source)) source.clear();
  const std::string file = workdir + "/batch_bench_source.mdb";
  int status = 0;
  try {
    const long rows = MakeSource(source, file, wanted);
    const std::vector<std::string> texts = AseStatements(file);
    size_t bytes = 0;
    for (const std::string& t : texts) bytes += t.size();
    const char* rounds_env = std::getenv("VQ_BENCH_ROUNDS");
    const int rounds = rounds_env ? std::max(1, std::atoi(rounds_env)) : 1;
    std::printf("%ld rows of Bench from %s, %.0f bytes an INSERT, best of %d round(s)\n", rows,
                source.empty() ? "a table made here" : source.c_str(),
                static_cast<double>(bytes) / static_cast<double>(rows ? rows : 1), rounds);
    for (int a = 7; a < argc; ++a) {
      const std::string given = argv[a];
      const size_t eq = given.find('='), colon = given.rfind(':');
      if (eq == std::string::npos || colon == std::string::npos || colon < eq) {
        std::fprintf(stderr, "batch_bench: a server is DELAY_US=HOST:PORT: %s\n", given.c_str());
        return 2;
      }
      const Server server{given.substr(eq + 1, colon - eq - 1), given.substr(colon + 1), argv[4],
                          argv[5], argv[6]};
      if (RunServer(file, texts, rows, server, given.substr(0, eq), rounds) != 0) status = 1;
    }
  } catch (const vq::DatabaseError& e) {
    std::fprintf(stderr, "batch_bench: error %d: %s\n", e.Number(), e.what());
    status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "batch_bench: %s\n", e.what());
    status = 1;
  }
  std::filesystem::remove(file);
  return status;
}
