// Helpers the benchmarks share: memory and processor-time figures of this
// process, a run in a child process of its own, SQL quoting, and the Access
// column type a transfer creates.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <string>
#include <variant>

#include "dataaccess/backend.h"
#include "dataaccess/error.h"
#include "dataaccess/session.h"
#include "dataaccess/value.h"

namespace vq::bench {

// ADO type codes the Access provider reports.
inline constexpr int kAdSmallInt = 2, kAdInteger = 3, kAdSingle = 4, kAdDouble = 5, kAdCurrency = 6,
                     kAdDate = 7, kAdBoolean = 11, kAdUnsignedTinyInt = 17, kAdBigInt = 20,
                     kAdGuid = 72, kAdNumeric = 131, kAdVarWChar = 202, kAdLongVarWChar = 203,
                     kAdVarBinary = 204, kAdLongVarBinary = 205;

// A kB figure from /proc/self/status ("VmRSS", "VmHWM").
inline long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
      return std::atol(line.c_str() + n + 1);
  }
  return -1;
}

// Processor time of this process so far, user and system.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Runs `body` in a child process, so that each run's peak memory is its own,
// and prints what it throws under `program`'s name. 0 when the child ends
// with 0, 1 otherwise (a failed fork included).
template <typename Body>
int RunInChild(const char* program, Body&& body) {
  std::fflush(stdout);
  pid_t child = ::fork();
  if (child < 0) {
    std::perror(program);
    return 1;
  }
  if (child == 0) {
    int rc = 1;
    try {
      rc = body();
    } catch (const vq::DatabaseError& e) {
      std::fprintf(stderr, "%s: error %d: %s\n", program, e.Number(), e.what());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", program, e.what());
    }
    std::fflush(stdout);
    std::_Exit(rc);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

inline std::string Quoted(const std::string& s, char quote) {
  std::string out(1, quote);
  for (char c : s) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}

// The Access column type a transfer creates for a result column.
inline std::string AccessType(const vq::FieldInfo& f) {
  switch (f.type) {
    case kAdBoolean:
      return "BIT";
    case kAdUnsignedTinyInt:
      return "BYTE";
    case kAdSmallInt:
      return "SHORT";
    case kAdInteger:
      return "LONG";
    case kAdBigInt:
      return "BIGINT";
    case kAdSingle:
      return "REAL";
    case kAdDouble:
      return "DOUBLE";
    case kAdCurrency:
      return "CURRENCY";
    case kAdDate:
      return "DATETIME";
    case kAdGuid:
      return "GUID";
    case kAdNumeric:
      return "DECIMAL(" + std::to_string(f.precision) + "," + std::to_string(f.scale) + ")";
    case kAdVarWChar:
      return "TEXT(" + std::to_string(f.defined_size > 0 ? f.defined_size : 255) + ")";
    case kAdLongVarWChar:
      return "MEMO";
    case kAdVarBinary:
      return "BINARY(" + std::to_string(f.defined_size > 0 ? f.defined_size : 255) + ")";
    case kAdLongVarBinary:
      return "LONGBINARY";
    default:
      return "MEMO";
  }
}

// Creates table Bench in `to` with the columns of `rs` and copies up to
// `rows` of its rows there, one INSERT each. Returns the rows copied.
inline long CopyBenchRows(vq::RecordSet& rs, vq::DatabaseSession& to, long rows) {
  const vq::Fields fields = rs.Fields();
  const int n = fields.Count();
  std::string create = "CREATE TABLE `Bench` (";
  for (int k = 0; k < n; ++k) {
    if (k) create += ", ";
    create += Quoted(fields.Item(k).Name(), '`') + " " + AccessType(fields.Item(k).Info());
  }
  to.Execute(create + ")");
  long copied = 0;
  std::string sql;
  for (; copied < rows && !rs.Eof(); ++copied, rs.MoveNext()) {
    sql = "INSERT INTO `Bench` VALUES(";
    for (int k = 0; k < n; ++k) {
      if (k) sql += ", ";
      const vq::Value& v = fields.Item(k).Value();
      if (vq::IsNull(v)) {
        sql += "NULL";
      } else if (std::holds_alternative<vq::Bytes>(v)) {
        sql += vq::ToText(v);
      } else {
        sql += Quoted(vq::ToText(v), '\'');
      }
    }
    to.Execute(sql + ")");
  }
  return copied;
}

}  // namespace vq::bench
