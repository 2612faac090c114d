// Write speed and memory of the Access engine, measured the way the transfers
// use it, against SQLite running the same statement texts.
//
//   write_bench SOURCE.mdb TABLE EMPTY.mdb WORKDIR ROWS [ROWS ...]
//
// For each row count (each in a child process of its own, so that one count's
// memory does not hide another's) it reads the first ROWS rows of TABLE in
// SOURCE through the data-access layer, long values included, and turns each
// row into the INSERT text a transfer sends: every value the layer's default
// text (vq::ToText) in quotes, NULL for nulls. That is not timed. Then:
//
//   insert       a copy of EMPTY gets the table through CREATE TABLE and one
//                DatabaseSession::Execute per text; the Execute loop and the
//                final Close (which checkpoints) are timed.
//   select into  a second session copies that table within the file with one
//                SELECT * INTO; Execute and Close are timed.
//   sqlite3      a fresh SQLite file gets the same CREATE TABLE and, in one
//                transaction, sqlite3_exec of every text with grave accents
//                turned into double quotes; BEGIN .. COMMIT and close are
//                timed. So is CREATE TABLE .. AS SELECT for the copy.
//
// Memory: before each phase the peak resident size is reset to the current
// one (Linux /proc/self/clear_refs); after it the peak is printed beside the
// resident size the phase started from. The statement texts are part of that
// starting size, so the growth column is what the phase itself took.
#include <fcntl.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "dataaccess/error.h"
#include "dataaccess/session.h"
#include "dataaccess/value.h"

namespace {

using namespace vq::bench;

using Clock = std::chrono::steady_clock;

std::string ConnectionString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Jet OLEDB:Database Password=";
}

// Starts a phase: hands freed memory back and makes the peak the current size.
long StartPhase() {
  malloc_trim(0);
  int fd = ::open("/proc/self/clear_refs", O_WRONLY);
  if (fd >= 0) {
    if (::write(fd, "5", 1) != 1) std::fprintf(stderr, "write_bench: cannot reset the peak\n");
    ::close(fd);
  }
  return StatusKb("VmRSS");
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The statements of one run: the CREATE TABLE and one INSERT per row.
struct Workload {
  std::string create;
  std::vector<std::string> inserts;
  size_t bytes = 0;  // of all INSERT texts
};

Workload Generate(const std::string& source, const std::string& table, const std::string& target,
                  long rows) {
  Workload w;
  vq::DatabaseSession db;
  db.Open(ConnectionString(source));
  vq::RecordSet rs;
  rs.Open("SELECT * FROM " + Quoted(table, '`'), db);
  vq::Fields fields = rs.Fields();
  const int n = fields.Count();
  w.create = "CREATE TABLE " + Quoted(target, '`') + " (";
  for (int k = 0; k < n; ++k) {
    if (k) w.create += ", ";
    w.create += Quoted(fields.Item(k).Name(), '`') + " " + AccessType(fields.Item(k).Info());
  }
  w.create += ")";
  const std::string head = "INSERT INTO " + Quoted(target, '`') + " VALUES(";
  w.inserts.reserve(static_cast<size_t>(rows));
  for (long r = 0; r < rows && !rs.Eof(); ++r, rs.MoveNext()) {
    std::string sql = head;
    for (int k = 0; k < n; ++k) {
      if (k) sql += ", ";
      const vq::Value& v = fields.Item(k).Value();
      sql += vq::IsNull(v) ? std::string("NULL") : Quoted(vq::ToText(v), '\'');
    }
    sql += ")";
    w.bytes += sql.size();
    w.inserts.push_back(std::move(sql));
  }
  rs.Close();
  db.Close();
  return w;
}

// The text with names quoted the SQLite way: grave accents outside string
// constants become double quotes.
std::string ForSqlite(const std::string& sql) {
  std::string out = sql;
  bool in_string = false;
  for (char& c : out) {
    if (c == '\'') in_string = !in_string;
    if (!in_string && c == '`') c = '"';
  }
  return out;
}

void SqliteExec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string m = message ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error("sqlite3: " + m + " in " + sql.substr(0, 200));
  }
}

struct Phase {
  double seconds = 0, cpu = 0;
  long start_kb = 0, peak_kb = 0;
};

void PrintPhase(const char* name, long rows, const Phase& p) {
  auto rate = [&](double t) { return rows / (t > 0 ? t : 1e-9); };
  std::printf(
      "  %-22s %6.2f s %8.0f rows/s  %6.2f s cpu %8.0f rows/s  RSS at start %6.1f MB, "
      "peak %6.1f MB (+%.1f MB)\n",
      name, p.seconds, rate(p.seconds), p.cpu, rate(p.cpu), p.start_kb / 1024.0, p.peak_kb / 1024.0,
      (p.peak_kb - p.start_kb) / 1024.0);
}

// Runs every phase for one row count and prints its figures.
int RunCount(const std::string& source, const std::string& table, const std::string& empty,
             const std::string& workdir, long rows) {
  const std::string tag = std::to_string(rows);
  const std::string access = workdir + "/write_bench_" + tag + ".mdb";
  const std::string lite = workdir + "/write_bench_" + tag + ".sqlite";
  std::filesystem::remove(access);
  std::filesystem::remove(lite);
  std::filesystem::remove(lite + "-journal");
  std::filesystem::copy_file(empty, access);
  std::filesystem::permissions(access, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);

  Workload w = Generate(source, table, "T", rows);
  const long n = static_cast<long>(w.inserts.size());
  std::printf("%ld rows of [%s], INSERT texts %.1f MB (%.0f bytes a statement)\n", n, table.c_str(),
              w.bytes / 1048576.0, n ? static_cast<double>(w.bytes) / n : 0.0);

  Phase insert, copy, lite_insert, lite_copy;
  {
    vq::DatabaseSession db;
    db.Open(ConnectionString(access));
    db.Execute(w.create);
    insert.start_kb = StartPhase();
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    for (const std::string& sql : w.inserts) db.Execute(sql);
    db.Close();
    insert.seconds = Seconds(start);
    insert.cpu = CpuSeconds() - cpu;
    insert.peak_kb = StatusKb("VmHWM");
  }
  {
    std::vector<std::string> texts;
    texts.reserve(w.inserts.size());
    for (const std::string& sql : w.inserts) texts.push_back(ForSqlite(sql));
    sqlite3* db = nullptr;
    if (sqlite3_open(lite.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    SqliteExec(db, ForSqlite(w.create));
    lite_insert.start_kb = StartPhase();
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    SqliteExec(db, "BEGIN");
    for (const std::string& sql : texts) SqliteExec(db, sql);
    SqliteExec(db, "COMMIT");
    sqlite3_close(db);
    lite_insert.seconds = Seconds(start);
    lite_insert.cpu = CpuSeconds() - cpu;
    lite_insert.peak_kb = StatusKb("VmHWM");
  }
  w.inserts.clear();
  w.inserts.shrink_to_fit();
  {
    vq::DatabaseSession db;
    db.Open(ConnectionString(access));
    copy.start_kb = StartPhase();
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    db.Execute("SELECT * INTO `T2` FROM `T`");
    db.Close();
    copy.seconds = Seconds(start);
    copy.cpu = CpuSeconds() - cpu;
    copy.peak_kb = StatusKb("VmHWM");
  }
  {
    sqlite3* db = nullptr;
    if (sqlite3_open(lite.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    lite_copy.start_kb = StartPhase();
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    SqliteExec(db, "CREATE TABLE \"T2\" AS SELECT * FROM \"T\"");
    sqlite3_close(db);
    lite_copy.seconds = Seconds(start);
    lite_copy.cpu = CpuSeconds() - cpu;
    lite_copy.peak_kb = StatusKb("VmHWM");
  }
  // The copy must hold every row.
  long copied = 0;
  {
    vq::DatabaseSession db;
    db.Open(ConnectionString(access));
    vq::RecordSet rs;
    rs.Open("SELECT * FROM `T2`", db);
    copied = static_cast<long>(rs.RecordCount());
    rs.Close();
    db.Close();
  }

  PrintPhase("INSERT (Execute each)", n, insert);
  PrintPhase("sqlite3 INSERT (exec)", n, lite_insert);
  PrintPhase("SELECT INTO", n, copy);
  PrintPhase("sqlite3 CREATE AS", n, lite_copy);
  std::printf(
      "  time / sqlite3's: INSERT %.2f (cpu %.2f), SELECT INTO %.2f (cpu %.2f); copy holds "
      "%ld rows; file %.1f MB\n",
      insert.seconds / lite_insert.seconds, insert.cpu / lite_insert.cpu,
      copy.seconds / lite_copy.seconds, copy.cpu / lite_copy.cpu, copied,
      std::filesystem::file_size(access) / 1048576.0);
  std::fflush(stdout);
  std::filesystem::remove(access);
  std::filesystem::remove(lite);
  return copied == n ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: write_bench SOURCE.mdb TABLE EMPTY.mdb WORKDIR ROWS [ROWS ...]\n");
    return 2;
  }
  const std::string source = argv[1], table = argv[2], empty = argv[3], workdir = argv[4];
  int status = 0;
  for (int a = 5; a < argc; ++a) {
    const long rows = std::atol(argv[a]);
    if (RunInChild("write_bench", [&] { return RunCount(source, table, empty, workdir, rows); }) !=
        0)
      status = 1;
  }
  return status;
}
