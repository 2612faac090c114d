// The kill test's victim: changes a database for ever, until it is killed,
// and says in a side file what the file holds after each checkpoint.
//
// usage: write_victim FILE LOG SEED TAG
//
// LOG gets one line per event, each written whole with one write():
//   P <state>   written before anything that may end in a checkpoint: the
//               state the file will hold if that checkpoint completes;
//   C <state>   written once a checkpoint has completed: the state the file
//               now holds.
// A state is the row count of every user table (victim_rows.h). Each new table
// gets a primary key, so its INSERTs keep an index too, and tables are renamed
// now and then (keeping the origin their rows' values follow from). A CREATE, a
// copy (SELECT INTO, with a spill limit so small that every copy brings its
// pages to the file while it runs) or a DROP ends in a checkpoint of its own; a run of INSERTs ends
// in one this program asks for, and may meet one the database takes by itself (a second or a few
// thousand rows after the last), which shows in the file's count of checkpoints. So after a kill
// the file holds the last C state or, when a P line follows it, that P state: nothing else.
//
// Exit status 2 with a message on stderr when any statement fails.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "jet/database.h"
#include "victim_rows.h"

namespace {

using jet::kill_test::State;

int log_fd = -1;

void Report(char kind, const State& s) {
  std::string line = std::string(1, kind) + " " + jet::kill_test::Format(s) + "\n";
  if (::write(log_fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(3);
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// The user tables of `db` and their row counts.
State ReadState(jet::Database& db) {
  State s;
  for (const jet::CatalogueEntry& e : db.Catalogue()) {
    if (e.kind != jet::ObjectKind::kUserTable) continue;
    auto reader = db.OpenTable(e.name);
    std::vector<jet::Value> row;
    int64_t n = 0;
    while (reader->Next(row)) ++n;
    s[e.name] = n;
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: write_victim FILE LOG SEED TAG\n");
    return 2;
  }
  const std::string path = argv[1];
  log_fd = ::open(argv[2], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log_fd < 0) return 2;
  std::mt19937 rng(static_cast<uint32_t>(std::stoul(argv[3])));
  const std::string tag = argv[4];
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  try {
    auto db = jet::Database::Open(path, "");
    db->EnableWriting();
    db->File().SetSpillLimit(6);
    State state = ReadState(*db);
    Report('C', state);
    int made = 0;
    for (;;) {
      if (state.size() < 2 || (state.size() < 4 && chance(0.15))) {
        std::string name = "T" + tag + "_" + std::to_string(made++);
        State next = state;
        next[name] = 0;
        Report('P', next);
        db->Execute("CREATE TABLE `" + name + "` " + jet::kill_test::kColumns);
        state = next;
        Report('C', state);
        Report('P', state);
        db->Execute("CREATE INDEX PrimaryKey ON `" + name + "` (`id`) WITH PRIMARY");
        Report('C', state);
        continue;
      }
      auto pick = state.begin();
      std::advance(pick, std::uniform_int_distribution<size_t>(0, state.size() - 1)(rng));
      const std::string table = pick->first;
      if (pick->second > 20 && state.size() < 5 && chance(0.08)) {
        std::string name =
            jet::kill_test::OriginOf(table) + "+" + tag + "_" + std::to_string(made++);
        State next = state;
        next[name] = pick->second;
        Report('P', next);
        db->Execute("SELECT * INTO `" + name + "` FROM `" + table + "`");
        state = next;
        Report('C', state);
        continue;
      }
      if (chance(0.12)) {
        std::string name =
            jet::kill_test::OriginOf(table) + "+" + tag + "_r" + std::to_string(made++);
        State next = state;
        next.erase(table);
        next[name] = pick->second;
        Report('P', next);
        db->Execute("ALTER TABLE `" + table + "` RENAME TO `" + name + "`");
        state = next;
        Report('C', state);
        continue;
      }
      if (pick->second > 400 || chance(0.1)) {
        State next = state;
        next.erase(table);
        Report('P', next);
        db->Execute("DROP TABLE `" + table + "`");
        state = next;
        Report('C', state);
        continue;
      }
      int rows = std::uniform_int_distribution<int>(1, 120)(rng);
      uint64_t checkpoints = db->File().Checkpoints();
      for (int k = 0; k < rows; ++k) {
        int64_t id = state[table];
        State next = state;
        next[table] = id + 1;
        Report('P', next);
        db->Execute("INSERT INTO `" + table + "` VALUES (" + std::to_string(id) + ", " +
                    Quote(jet::kill_test::TextFor(table, id)) + ", " +
                    Quote(jet::kill_test::MemoFor(table, id)) + ", " +
                    std::to_string(jet::kill_test::NumberFor(id)) + ")");
        state = next;
        if (db->File().Checkpoints() != checkpoints) Report('C', state);
        checkpoints = db->File().Checkpoints();
      }
      Report('P', state);
      db->Checkpoint();
      Report('C', state);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_victim: %s\n", e.what());
    return 2;
  }
}
