// What the check before a file's first write costs (integrity_check.h).
//
//   write_check_bench FILE [FILE ...]
//   write_check_bench --make WORKDIR MEGABYTES
//
// For each FILE it opens the database and times the check five times over,
// printing the first (pages not yet in the engine's cache, though perhaps in
// the system's) and the fastest. --make first builds a database of about
// MEGABYTES in WORKDIR (one table of rows with text and memo values, written
// through the engine) and then times the check on it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/integrity_check.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void Measure(const std::string& path) {
  const auto open_start = std::chrono::steady_clock::now();
  auto db = jet::Database::Open(path, "");
  const double open = Seconds(std::chrono::steady_clock::now() - open_start);
  double first = 0, best = 1e9;
  std::string found;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    found = jet::FindDamageForWriting(db->File(), db->File().FileSize(), db->FileHeader(),
                                      db->Catalogue());
    const double took = Seconds(std::chrono::steady_clock::now() - start);
    if (round == 0) first = took;
    best = std::min(best, took);
  }
  std::printf(
      "%s: %.1f MB, %u pages, %zu catalogue objects; open %.1f ms; check first %.2f ms, "
      "fastest %.2f ms; %s\n",
      path.c_str(), db->File().FileSize() / 1e6, db->File().PageCount(), db->Catalogue().size(),
      open * 1e3, first * 1e3, best * 1e3, found.empty() ? "sound" : found.c_str());
}

std::string Make(const std::string& dir, long megabytes) {
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/check_bench.mdb";
  std::filesystem::remove(path);
  jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
  auto db = jet::Database::Open(path, "");
  db->Execute("CREATE TABLE Big (id LONG, t TEXT(255), m MEMO)");
  const std::string text(200, 't'), memo(3000, 'm');
  const auto start = std::chrono::steady_clock::now();
  long rows = 0;
  while (db->File().PageCount() * 4096.0 < megabytes * 1e6) {
    for (int k = 0; k < 1000; ++k, ++rows)
      db->Execute("INSERT INTO Big VALUES (" + std::to_string(rows) + ", '" + text + "', '" + memo +
                  "')");
  }
  db->Close();
  std::printf("made %s: %ld rows in %.1f s\n", path.c_str(), rows,
              Seconds(std::chrono::steady_clock::now() - start));
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--make" && i + 2 < argc) {
      files.push_back(Make(argv[i + 1], std::atol(argv[i + 2])));
      i += 2;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: write_check_bench FILE... | --make WORKDIR MEGABYTES [FILE...]\n");
    return 2;
  }
  for (const std::string& f : files) Measure(f);
  return 0;
}
