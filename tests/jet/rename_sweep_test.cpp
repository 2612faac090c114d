// Every table of every Access file at hand, renamed, and a table named in
// three scripts made and dropped beside them: a rename keeps a table's Id,
// columns, indexes, relationships and rows, and mdbtools and mdb-reader read
// the file as we do after all of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/integrity_check.h"
#include "jet/table_outline.h"
#include "jet/text_codec.h"
#include "other_readers.h"
#include "scratch_files.h"
#include "test_file_sources.h"

namespace jet {
namespace {

using testing::CheckWithOtherReaders;
using testing::CopyFile;
using testing::RunCommand;
using testing::ScratchDir;

// The rows of `table` as text, in the order the table gives them.
std::string RowsOf(Database& db, const std::string& table) {
  std::string out;
  auto reader = db.OpenTable(table);
  std::vector<Value> row;
  while (reader->Next(row)) {
    for (const Value& v : row) {
      out += std::to_string(v.index()) + ":";
      if (const auto* s = std::get_if<std::string>(&v)) out += *s;
      if (const auto* i = std::get_if<int64_t>(&v)) out += std::to_string(*i);
      if (const auto* d = std::get_if<double>(&v)) out += std::to_string(*d);
      if (const auto* b = std::get_if<bool>(&v)) out += *b ? "1" : "0";
      if (const auto* m = std::get_if<Money>(&v)) out += std::to_string(m->ten_thousandths);
      if (const auto* t = std::get_if<OleDate>(&v)) out += std::to_string(t->days);
      if (const auto* n = std::get_if<Numeric>(&v))
        out += std::to_string(static_cast<uint64_t>(n->magnitude)) + "/" +
               std::to_string(n->scale) + (n->negative ? "-" : "");
      if (const auto* bytes = std::get_if<Binary>(&v)) out.append(bytes->begin(), bytes->end());
      if (const auto* g = std::get_if<Guid>(&v)) out.append(g->bytes.begin(), g->bytes.end());
      out += '\x1f';
    }
    out += '\n';
  }
  return out;
}

// `text` with every "[from]" made "[to]".
std::string Renamed(std::string text, const std::string& from, const std::string& to) {
  const std::string a = "[" + from + "]", b = "[" + to + "]";
  for (size_t at = 0; (at = text.find(a, at)) != std::string::npos; at += b.size())
    text.replace(at, a.size(), b);
  return text;
}

std::string Quoted(const std::string& name) {
  return "`" + name + "`";
}

TEST(RenameSweep, EveryTableOfEveryFileKeepsItsShapeAndRows) {
  const std::string fixtures = testing::kSharedFixtures;
  std::ifstream index(fixtures + "INDEX.tsv");
  if (!index) GTEST_SKIP() << "needs the Access files made by other software in ../shared";
  std::string line;
  std::getline(index, line);
  int files = 0, tables = 0, kept_by_relationship = 0, dropped_with_lists = 0,
      disagreeing_before = 0, access97 = 0;
  std::map<std::string, bool> seen;
  while (std::getline(index, line)) {
    std::vector<std::string> f;
    for (size_t at = 0;;) {
      const size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    // Files with a password are left to the encryption tests.
    if (f.size() < 4 || !f[3].empty() || seen[f[0]]) continue;
    seen[f[0]] = true;
    ScratchDir dir;
    const std::string extension = std::filesystem::path(f[0]).extension().string();
    const std::string path = CopyFile(fixtures + f[0], dir / ("copy" + extension));
    std::shared_ptr<Database> db;
    try {
      db = Database::Open(path, "");
    } catch (const JetError&) {
      continue;  // a file this engine does not open: the reader tests cover why
    }
    SCOPED_TRACE(f[0]);
    // Access 97 files keep names and text in their code page: the table named
    // in three scripts is refused by name, the file unchanged, and one named
    // in what the code page holds takes its place.
    std::string fresh = "Prüfung Ærø 表", value = "Ærø 表 €";
    if (db->FileHeader().IsJet3()) {
      ++access97;
      db->Checkpoint();
      const auto before = testing::FileBytes(path);
      try {
        db->Execute("CREATE TABLE " + Quoted(fresh) + " (`Größe` LONG)");
        ADD_FAILURE() << "a name beyond the code page was taken";
      } catch (const JetError& e) {
        EXPECT_EQ(e.Number(), error_numbers::kBadName);
        EXPECT_NE(std::string(e.what()).find("'表' (U+8868)"), std::string::npos) << e.what();
      }
      db->Checkpoint();
      EXPECT_TRUE(testing::FileBytes(path) == before);
      const bool western = db->FileHeader().code_page == 1252;
      fresh = western ? "Prüfung Ærø €" : "Pruefung";
      value = western ? "Ærø € „x“" : "x";
    }
    ++files;
    std::vector<std::string> names;
    for (const CatalogueEntry& e : db->Catalogue())
      if (e.kind == ObjectKind::kUserTable) names.push_back(e.name);

    std::vector<std::pair<std::string, bool>> renamed;  // new name, in a relationship
    for (size_t k = 0; k < names.size(); ++k) {
      const std::string& old_name = names[k];
      const std::string new_name = "Renamed " + std::to_string(k) + " " + old_name.substr(0, 40);
      SCOPED_TRACE(old_name);
      const int32_t id = db->FindTable(old_name).id;
      const std::string shape = OutlineTable(*db, old_name);
      const std::string rows = RowsOf(*db, old_name);
      ASSERT_NO_THROW(
          db->Execute("ALTER TABLE " + Quoted(old_name) + " RENAME TO " + Quoted(new_name)));
      EXPECT_EQ(db->FindTable(new_name).id, id);
      EXPECT_THROW(db->FindTable(old_name), JetError);
      EXPECT_EQ(OutlineTable(*db, new_name), Renamed(shape, old_name, new_name));
      EXPECT_EQ(RowsOf(*db, new_name), rows);
      renamed.push_back({new_name, shape.find("\nRELATIONSHIP ") != std::string::npos});
      ++tables;
    }

    // A table named in three scripts, with a row, then dropped.
    ASSERT_NO_THROW(db->Execute("CREATE TABLE " + Quoted(fresh) + " (`Größe` TEXT(20), n LONG)"));
    ASSERT_NO_THROW(db->Execute("INSERT INTO " + Quoted(fresh) + " VALUES ('" + value + "', 1)"));
    EXPECT_EQ(RowsOf(*db, UpperCaseName(fresh)), "8:" + value + "\x1f" + "2:1\x1f\n");
    db->Close();
    db.reset();
    std::string out;
    if (RunCommand("mdb-tables -1 '" + path + "'", out) == 0) {
      EXPECT_NE(out.find(fresh + "\n"), std::string::npos) << out;
      for (const auto& name : names)
        EXPECT_EQ(("\n" + out).find("\n" + name + "\n"), std::string::npos) << "still " << name;
    }
    // Every renamed table dropped; Access refuses only those in a relationship.
    // A table with attachment or multi-value columns takes its hidden value
    // tables and their MSysComplexColumns rows with it.
    db = Database::Open(path, "");
    ASSERT_NO_THROW(db->Execute("DROP TABLE " + Quoted(fresh)));
    for (const auto& [name, related] : renamed) {
      SCOPED_TRACE(name);
      const int32_t id = db->FindTable(name).id;
      std::vector<int32_t> hidden;
      const auto& catalogue = db->Catalogue();
      if (std::any_of(catalogue.begin(), catalogue.end(),
                      [](const CatalogueEntry& e) { return e.name == "MSysComplexColumns"; })) {
        auto reader = db->OpenTable("MSysComplexColumns");
        const TableDefinition& def = reader->Definition();
        size_t table_column = 0, flat_column = 0;
        for (size_t k = 0; k < def.columns.size(); ++k) {
          if (def.columns[k].name == "ConceptualTableID") table_column = k;
          if (def.columns[k].name == "FlatTableID") flat_column = k;
        }
        std::vector<Value> row;
        while (reader->Next(row))
          if (row[table_column] == Value(int64_t{id}))
            hidden.push_back(static_cast<int32_t>(std::get<int64_t>(row[flat_column])));
      }
      try {
        db->Execute("DROP TABLE " + Quoted(name));
        EXPECT_FALSE(related) << "a table in a relationship was dropped";
        if (!hidden.empty()) ++dropped_with_lists;
        for (const CatalogueEntry& e : db->Catalogue())
          EXPECT_EQ(std::find(hidden.begin(), hidden.end(), e.id), hidden.end())
              << "the hidden table " << e.name << " stayed";
      } catch (const JetError& e) {
        EXPECT_TRUE(related) << e.what();
        ++kept_by_relationship;
      }
    }
    EXPECT_EQ(
        FindDamageForWriting(db->File(), db->File().FileSize(), db->FileHeader(), db->Catalogue()),
        "");
    db->Close();
    db.reset();
    // Where the other readers already disagree with us on the file as Access
    // or another program left it, their disagreement is not ours to judge.
    std::string skipped;
    const std::string differences = CheckWithOtherReaders(path, "", skipped, true, true);
    if (!differences.empty()) {
      const std::string original = CopyFile(fixtures + f[0], dir / ("original" + extension));
      if (CheckWithOtherReaders(original, "", skipped, true, true).empty())
        ADD_FAILURE() << differences;
      else
        ++disagreeing_before;
    }
    if (!skipped.empty()) std::printf("  other readers skipped: %s\n", skipped.c_str());
  }
  std::printf(
      "[ rename sweep ] %d files (%d of them Access 97), %d tables renamed, %d kept by their "
      "relationships, %d dropped with their attachment or multi-value lists; %d files the other "
      "readers already read otherwise than we do as they came\n",
      files, access97, tables, kept_by_relationship, dropped_with_lists, disagreeing_before);
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace jet
