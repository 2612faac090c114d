// Running commands from tests, and the check that other readers read a file
// we wrote as our own reader does (readers/check_written_file.py).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "scratch_files.h"

namespace jet::testing {

// Runs a command line; its exit status, its output (stdout and stderr) in `out`.
inline int RunCommand(const std::string& command, std::string& out) {
  out.clear();
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#if defined(VQ_SQL_TOOL) && defined(VQ_READERS_DIR) && defined(VQ_PYTHON)
// mdb-reader and (unless `with_mdbtools` is false: it reads no encrypted
// file) mdbtools must read `path` as our reader reads it, which the caller has
// checked value for value. Empty when they do or when a reader is missing
// (then `skipped` says which); otherwise what differs. `any_order` accepts
// mdb-reader's rows in another order than ours; `with_mdb_reader` false
// leaves it out (for files it fails to read even as Access left them).
inline std::string CheckWithOtherReaders(const std::string& path, const std::string& password,
                                         std::string& skipped, bool with_mdbtools = true,
                                         bool any_order = false, bool with_mdb_reader = true) {
  const std::string tool = VQ_SQL_TOOL,
                    checker = std::string(VQ_READERS_DIR) + "/check_written_file.py";
  if (!Exists(tool)) {
    skipped = "vellquist-sql is not built";
    return "";
  }
  const std::string base = std::string(VQ_PYTHON) + " '" + checker + "' '" + path + "' --tool '" +
                           tool + "'" + (password.empty() ? "" : " --password '" + password + "'") +
                           (with_mdbtools ? "" : " --no-mdbtools") +
                           (with_mdb_reader ? "" : " --no-mdb-reader") +
                           (any_order ? " --any-order" : "");
  const std::string expected = path + ".expected.json";
  std::string out;
  if (RunCommand(base + " --describe > '" + expected + "'", out) != 0)
    return "describing the file failed: " + out;
  const int rc = RunCommand(base + " --expected '" + expected + "'", out);
  std::error_code ignored;
  std::filesystem::remove(expected, ignored);
  if (rc == 77) {
    skipped = out;
    return "";
  }
  return rc == 0 ? "" : out;
}

// CheckWithOtherReaders (any row order) on `path`, a changed copy of the
// file `original`. Where the readers already read `original` otherwise than
// we do (mdb-reader reads every attachment or multi-value column as
// attachments, neither knows every column kind of Access), their disagreement
// is not ours to judge: mdb-reader is left out where it alone fails on
// `original`, both where mdbtools does too, and `note` says so.
inline std::string CheckChangedCopyWithOtherReaders(const std::string& path,
                                                    const std::string& original,
                                                    std::string& note) {
  std::string skipped;
  note.clear();
  const std::string differences = CheckWithOtherReaders(path, "", skipped, true, true);
  if (!skipped.empty()) note = "other readers skipped: " + skipped;
  if (differences.empty()) return "";
  const std::string copy =
      CopyFile(original, path + ".original" + std::filesystem::path(original).extension().string());
  struct Remove {
    std::string path;
    ~Remove() { std::remove(path.c_str()); }
  } remove{copy};
  if (CheckWithOtherReaders(copy, "", skipped, true, true).empty()) return differences;
  if (CheckWithOtherReaders(copy, "", skipped, true, true, false).empty()) {
    note = "mdb-reader already fails on the file as it came; mdbtools alone is held to it";
    return CheckWithOtherReaders(path, "", skipped, true, true, false);
  }
  note = "the other readers already read the file as it came otherwise than we do";
  return "";
}
#endif

}  // namespace jet::testing
