// The kill test: a victim process (write_victim) changes a copy of an Access
// file and is killed with SIGKILL at a random moment; then the file is opened
// with this engine, which must find exactly the state of the victim's last
// checkpoint (or of the one it was completing), every row as written and
// every index holding exactly its table's rows. Every
// so often, and at the end, mdbtools and mdb-reader must read the file too.
// The next victim carries on with the same file.
//
// usage: write_kill_test [KILLS [SEED]]   (or VQ_KILLS, VQ_KILL_SEED)
// Exit status 0, 1 on any failure (the message names the seed).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../other_readers.h"
#include "jet/database.h"
#include "jet/file_store.h"
#include "jet/index_maintenance.h"
#include "victim_rows.h"

namespace {

using jet::testing::RunCommand;

using jet::kill_test::State;
using Clock = std::chrono::steady_clock;

struct Target {
  std::string path;
  uint32_t page_size = 0;
  State last;  // as the engine last found it
};

// What a victim's log allows the file to hold: the last completed checkpoint
// and, when one was under way, the state it was writing.
std::vector<State> Allowed(const std::string& log, const State& before) {
  std::ifstream in(log, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  text.erase(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);  // a torn line
  State committed = before;
  std::vector<State> pending;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    State s = jet::kill_test::Parse(line.substr(1));
    if (line[0] == 'C') {
      committed = s;
      pending.clear();
    } else {
      pending = {s};
    }
  }
  pending.insert(pending.begin(), committed);
  return pending;
}

// The engine's view of `path`: every user table's rows, each checked against
// what the victim wrote. Empty `problem` when all is well.
State Inspect(const std::string& path, std::string& problem, jet::PageFile::Recovery& recovery) {
  State s;
  auto db = jet::Database::Open(path, "");
  recovery = db->File().JournalRecovery();
  if (jet::testing::Exists(jet::PageFile::JournalPath(path))) problem = "a journal is left";
  if (db->File().FileSize() % db->FileHeader().page_size != 0)
    problem = "the file is not a whole number of pages";
  for (const jet::CatalogueEntry& e : db->Catalogue()) {
    if (e.kind != jet::ObjectKind::kUserTable) continue;
    auto reader = db->OpenTable(e.name);
    std::vector<jet::Value> row;
    // Rows come in the order of the pages they landed on, which is not the
    // order they were added in once freed pages are reused.
    std::vector<bool> seen;
    int64_t n = 0;
    while (reader->Next(row)) {
      ++n;
      const int64_t* id = row.size() == 4 ? std::get_if<int64_t>(&row[0]) : nullptr;
      bool ok = id && *id >= 0 && *id < 1000000 &&
                row[1] == jet::Value(jet::kill_test::TextFor(e.name, *id)) &&
                row[2] == jet::Value(jet::kill_test::MemoFor(e.name, *id)) &&
                row[3] == jet::Value(jet::kill_test::NumberFor(*id));
      if (ok) {
        if (seen.size() <= static_cast<size_t>(*id)) seen.resize(*id + 1);
        ok = !seen[*id];
        seen[*id] = true;
      }
      if (!ok && problem.empty())
        problem = "row " + std::to_string(n) + " of " + e.name + " is not as written";
    }
    if (problem.empty() && static_cast<int64_t>(seen.size()) != n)
      problem = e.name + " does not hold the rows numbered 0 to " + std::to_string(n - 1);
    if (problem.empty()) {
      try {
        jet::FileStore store(db->File(), jet::LayoutFor(db->FileHeader().IsJet3()));
        jet::TableIndexes(store, db->FileHeader(), db->Definition(e.name), e.name)
            .CheckAgainstRows();
      } catch (const jet::JetError& error) {
        problem = error.what();
      }
    }
    s[e.name] = n;
  }
  return s;
}

std::string Shell(const std::string& s) {
  return "'" + s + "'";
}  // paths made here: no quotes

// mdbtools and mdb-reader must read the file without a complaint and find
// the tables and rows the engine found. Empty when they do.
std::string OtherReaders(const Target& t, bool have_mdb_reader) {
  std::string out;
  if (RunCommand("mdb-tables -1 " + Shell(t.path), out) != 0) return "mdb-tables failed: " + out;
  std::istringstream names(out);
  std::string name;
  State listed;
  while (std::getline(names, name))
    if (!name.empty()) listed[name] = 0;
  for (auto& [table, count] : listed) {
    if (RunCommand("mdb-export " + Shell(t.path) + " " + Shell(table), out) != 0)
      return "mdb-export " + table + " failed: " + out.substr(0, 300);
    for (char c : out) count += c == '\n';
    --count;  // the header line
  }
  if (listed != t.last)
    return "mdbtools found " + jet::kill_test::Format(listed) + ", the engine " +
           jet::kill_test::Format(t.last);
  if (have_mdb_reader) {
    if (RunCommand("node " + Shell(std::string(VQ_READERS_DIR) + "/dump_mdb_reader.mjs") + " " +
                       Shell(t.path) + " >/dev/null",
                   out) != 0)
      return "mdb-reader failed: " + out.substr(0, 300);
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  int kills = argc > 1                  ? std::atoi(argv[1])
              : std::getenv("VQ_KILLS") ? std::atoi(std::getenv("VQ_KILLS"))
                                        : 210;
  uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::stoul(argv[2]))
                  : std::getenv("VQ_KILL_SEED")
                      ? static_cast<uint32_t>(std::stoul(std::getenv("VQ_KILL_SEED")))
                      : std::random_device{}();
  std::printf("kill test: %d kills, seed %u\n", kills, seed);
  std::fflush(stdout);
  std::string ignored;
  const bool have_mdbtools =
      RunCommand("command -v mdb-tables && command -v mdb-export", ignored) == 0;
  const bool have_mdb_reader =
      RunCommand("command -v node", ignored) == 0 &&
      jet::testing::Exists(std::string(VQ_READERS_DIR) + "/node_modules/mdb-reader");
  if (!have_mdbtools) std::printf("mdbtools missing: only our engine checks the files\n");
  if (!have_mdb_reader) std::printf("node or mdb-reader missing: mdb-reader is not asked\n");

  jet::testing::ScratchDir dir;
  // A Jet4 file, another encoded, an ACE file and an Access 97 file, in
  // turn, each new.
  std::vector<Target> targets;
  for (const auto& [format, extension] : {std::pair{jet::NewFormat::kAccess2000, ".mdb"},
                                          std::pair{jet::NewFormat::kAccess2003, ".mdb"},
                                          std::pair{jet::NewFormat::kAccess2007, ".accdb"},
                                          std::pair{jet::NewFormat::kAccess97, ".mdb"}}) {
    Target t;
    t.path = dir / ("victim" + std::to_string(targets.size()) + extension);
    jet::Database::Create(t.path, format, "");
    targets.push_back(t);
  }
  jet::testing::EncodeInPlace(targets[1].path, 0x2B4D17E5);

  std::mt19937 rng(seed);
  int restored = 0, cold = 0, second_state = 0, checked_by_others = 0;
  const std::string log = dir / "victim.log", errors = dir / "victim.err";
  const auto start = Clock::now();
  auto fail = [&](int kill, const Target& t, const std::string& why) {
    std::string keep =
        "/tmp/vq-kill-failure-" + std::to_string(seed) + t.path.substr(t.path.rfind('.'));
    jet::testing::CopyFile(t.path, keep);
    std::ifstream err(errors);
    std::stringstream e;
    e << err.rdbuf();
    std::printf("FAIL at kill %d on %s (seed %u): %s\nvictim stderr: %s\nthe file is kept as %s\n",
                kill, t.path.c_str(), seed, why.c_str(), e.str().c_str(), keep.c_str());
    return 1;
  };
  for (int kill = 1; kill <= kills; ++kill) {
    Target& t = targets[kill % targets.size()];
    ::unlink(log.c_str());
    ::close(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    const std::string victim_seed = std::to_string(seed + static_cast<uint32_t>(kill));
    pid_t pid = ::fork();
    if (pid == 0) {
      int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, 2);
      ::execl(VQ_WRITE_VICTIM, VQ_WRITE_VICTIM, t.path.c_str(), log.c_str(), victim_seed.c_str(),
              std::to_string(kill).c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Wait until the victim has opened the file, then give it a while.
    auto deadline = Clock::now() + std::chrono::seconds(30);
    struct stat st {};
    int status = 0;
    bool exited = false;
    while ((::stat(log.c_str(), &st) != 0 || st.st_size == 0) && Clock::now() < deadline) {
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        exited = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!exited) {
      int ms = std::uniform_int_distribution<int>(0, 350)(rng);
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      exited = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (exited)
      return fail(kill, t, "the victim ended by itself, status " + std::to_string(status));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);

    std::vector<State> allowed = Allowed(log, t.last);
    bool journal = jet::testing::Exists(jet::PageFile::JournalPath(t.path));
    std::string problem;
    jet::PageFile::Recovery recovery = jet::PageFile::Recovery::kNone;
    State found;
    try {
      found = Inspect(t.path, problem, recovery);
    } catch (const std::exception& e) {
      return fail(kill, t, std::string("the engine cannot read the file: ") + e.what());
    }
    if (!problem.empty()) return fail(kill, t, problem);
    if (recovery == jet::PageFile::Recovery::kRestored)
      ++restored;
    else if (journal)
      ++cold;
    bool ok = false;
    for (size_t k = 0; k < allowed.size(); ++k) {
      if (found == allowed[k]) {
        ok = true;
        second_state += k == 1;
      }
    }
    if (!ok) {
      std::string why = "the file holds " + jet::kill_test::Format(found) + "; allowed:";
      for (const State& s : allowed) why += " [" + jet::kill_test::Format(s) + "]";
      return fail(kill, t, why);
    }
    t.last = found;
    if (have_mdbtools && (kill % 20 == 0 || kill > kills - static_cast<int>(targets.size()))) {
      std::string why = OtherReaders(t, have_mdb_reader);
      if (!why.empty()) return fail(kill, t, why);
      ++checked_by_others;
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  size_t rows = 0;
  for (const Target& t : targets)
    for (const auto& [name, count] : t.last) rows += static_cast<size_t>(count);
  std::printf(
      "kill test passed: %d kills in %.0f s (seed %u); %d hot journals restored, %d cold ones "
      "removed, %d times the checkpoint under way had completed; %d checks by mdbtools%s; %zu "
      "rows in the final files\n",
      kills, seconds, seed, restored, cold, second_state, checked_by_others,
      have_mdb_reader ? " and mdb-reader" : "", rows);
  return 0;
}
