// Index keys: hand-checked encodings, and every entry of Access-made indexes
// recomputed from the row it points to.
#include "jet/index_key.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "jet/database.h"
#include "jet/index_tree.h"
#include "jet/row_codec.h"

namespace jet {
namespace {

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char* kDigits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

Column TextColumn(uint8_t version) {
  Column c;
  c.name = "Name";
  c.type = kText;
  c.sort_lcid = 0x0409;
  c.sort_version = version;
  return c;
}

// A one-table definition with the given columns (numbered in order) and one
// index over all of them.
struct OneIndex {
  TableDefinition table;
  RealIndex index;
  OneIndex(std::vector<Column> columns, std::vector<bool> ascending) {
    for (size_t k = 0; k < columns.size(); ++k) {
      columns[k].number = static_cast<uint16_t>(k);
      index.columns.push_back(IndexColumn{static_cast<uint16_t>(k), ascending[k]});
    }
    table.columns = std::move(columns);
  }
  std::string Key(std::vector<Value> row) {
    return ToHex(EncodeIndexKey(table, index, row, false));
  }
};

Column Typed(uint8_t type) {
  Column c;
  c.name = "c";
  c.type = type;
  return c;
}

TEST(IndexKey, TextInBothGeneralOrders) {
  struct Case {
    std::string text;
    std::string legacy, general;
  } cases[] = {
      {"Table1", "6d 4a 4c 5e 51 38 01 00", "0e 99 0e 02 0e 09 0e 48 0e 21 0d 19 01 00"},
      {"a-b", "4a 4c 01 01 01 01 80 0b 06 82 00", "0e 02 0e 09 01 01 01 01 80 0b 06 82 00"},
      {"My Table ", "60 76 07 6d 4a 4c 5e 51 01 00",
       "0e 51 0e a7 07 02 0e 99 0e 02 0e 09 0e 48 0e 21 01 00"},
      {"", "01 00", "01 00"},
      {"x_1.", "75 2b 03 38 1c 01 00", "0e a6 07 44 0d 19 07 33 01 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<uint8_t> out;
    AppendTextKey(c.text, TextColumn(0), true, false, out);
    EXPECT_EQ(ToHex(out), c.legacy);
    out.clear();
    AppendTextKey(c.text, TextColumn(1), true, false, out);
    EXPECT_EQ(ToHex(out), c.general);
  }
  // Case does not matter; a descending column inverts the text and its end marks.
  std::vector<uint8_t> upper, lower, down;
  AppendTextKey("TABLE1", TextColumn(0), true, false, upper);
  AppendTextKey("table1", TextColumn(0), true, false, lower);
  EXPECT_EQ(upper, lower);
  AppendTextKey("ab", TextColumn(0), false, false, down);
  EXPECT_EQ(ToHex(down), "b5 b3 fe ff 00");
}

std::string TextKey(const std::string& text, Column c, bool jet3 = false, bool ascending = true) {
  std::vector<uint8_t> out;
  AppendTextKey(text, c, ascending, jet3, out);
  return ToHex(out);
}

TEST(IndexKey, TextBeyondAscii) {
  // Case folds beyond ASCII too, and an accent goes after the text.
  for (uint8_t version : {0, 1}) {
    SCOPED_TRACE(int(version));
    EXPECT_EQ(TextKey("Pr\xC3\xBC"
                      "fung",
                      TextColumn(version)),
              TextKey("PR\xC3\x9C"
                      "FUNG",
                      TextColumn(version)));
    EXPECT_NE(TextKey("Pr\xC3\xBC"
                      "fung",
                      TextColumn(version)),
              TextKey("Prufung", TextColumn(version)));
    // A character past U+FFFF keys as its two halves, each with an accent byte.
    EXPECT_NE(TextKey("a\xF0\x9F\x98\x80", TextColumn(version)), TextKey("a", TextColumn(version)));
  }
  // 'ü' in General Legacy: u's code, then accent bytes 02 (P, r) and 13.
  EXPECT_EQ(TextKey("Pr\xC3\xBC", TextColumn(0)), "66 69 6f 01 02 02 13 00");
  // Access 97: plain letters need no tail; an accent becomes a nibble.
  EXPECT_EQ(TextKey("ab", TextColumn(0), true), TextKey("AB", TextColumn(0), true));
  EXPECT_NE(TextKey("\xC3\xA9", TextColumn(0), true), TextKey("e", TextColumn(0), true));
  // The euro sign is the 1252 byte 0x80 in Access 97 and sorts as such.
  EXPECT_NE(TextKey("\xE2\x82\xAC", TextColumn(0), true), TextKey("", TextColumn(0), true));
  // Descending inverts every byte written for the value.
  std::string up = TextKey("ab", TextColumn(0), true),
              down = TextKey("ab", TextColumn(0), true, false);
  ASSERT_EQ(up.size(), down.size());
  EXPECT_EQ(down.substr(0, 2), "9f");  // ~0x60, the code of A
}

// General 97 keys of text in another code page than 1252: a character at the
// byte 1252 gives it keys as in 1252; any other is refused, even one of
// Latin-1 that the code page holds elsewhere (Baltic 1257 keeps U+00A8 at
// 0x8D, not 0xA8), since Access keys the file's bytes.
TEST(IndexKey, General97InOtherCodePages) {
  const auto key = [](const std::string& text, uint16_t code_page) {
    std::vector<uint8_t> out;
    AppendTextKey(text, TextColumn(0), true, true, out, code_page);
    return ToHex(out);
  };
  EXPECT_EQ(key("Caf\u00E9 \u0160 \u20AC", 1250), key("Caf\u00E9 \u0160 \u20AC", 1252));
  EXPECT_EQ(key("\u00C7ok g\u00FCzel", 1254), key("\u00C7ok g\u00FCzel", 0));
  // A code page without a table was read as 1252 and keys so.
  EXPECT_EQ(key("Caf\u00E9", 936), key("Caf\u00E9", 1252));
  for (const auto& [text, code_page] : std::vector<std::pair<std::string, uint16_t>>{
           {"\u0142", 1250}, {"\u0391", 1253}, {"\u00A8", 1257}, {"\u00E9", 1253}}) {
    SCOPED_TRACE(code_page);
    try {
      key("a" + text, code_page);
      ADD_FAILURE() << "keyed " << text;
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kNotSupported);
      EXPECT_NE(std::string(e.what()).find("code page " + std::to_string(code_page)),
                std::string::npos)
          << e.what();
    }
    EXPECT_NE(FirstUnkeyedGeneral97Character("x" + text, code_page), std::nullopt);
  }
  EXPECT_EQ(FirstUnkeyedGeneral97Character("Zam\u00F3wienia", 1250), std::nullopt);
  // In 1252 nothing is refused here: what the code page cannot hold never
  // reaches a key, since writing it is refused first.
  EXPECT_EQ(FirstUnkeyedGeneral97Character("\u0391", 1252), std::nullopt);
}

TEST(IndexKey, RefusesOtherLanguagesSortOrders) {
  Column cyrillic = TextColumn(0);
  cyrillic.sort_lcid = 0x0419;
  Column newer = TextColumn(2);
  for (const Column& c : {cyrillic, newer}) {
    try {
      TextKey("Table1", c);
      ADD_FAILURE() << "accepted sort order " << c.sort_lcid << "/" << int(c.sort_version);
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kNotSupported);
      const std::string text = e.what();
      EXPECT_TRUE(std::isupper(static_cast<unsigned char>(text[0]))) << text;
      EXPECT_NE(text.find("set its sort order to General"), std::string::npos) << text;
      if (c.sort_lcid == 0x0419) {
        EXPECT_NE(text.find("Cyrillic"), std::string::npos) << text;
      }
    }
  }
  // Every printable ASCII character has a code in every order.
  for (int version : {0, 1}) {
    for (char c = 0x20; c < 0x7F; ++c)
      EXPECT_NO_THROW(TextKey(std::string("a") + c + "b", TextColumn(version))) << c;
  }
  EXPECT_EQ(TextKey("#Z", TextColumn(0)), "0c 78 01 00");
  EXPECT_EQ(TextKey("#Z", TextColumn(1)), "07 1f 0e a9 01 00");
}

TEST(IndexKey, FixedSizeValues) {
  OneIndex longs({Typed(kLong)}, {true});
  EXPECT_EQ(longs.Key({int64_t{0x0F000001}}), "7f 8f 00 00 01");
  EXPECT_EQ(longs.Key({int64_t{-1}}), "7f 7f ff ff ff");
  EXPECT_EQ(longs.Key({std::monostate{}}), "00");
  OneIndex down({Typed(kLong)}, {false});
  EXPECT_EQ(down.Key({int64_t{2}}), "80 7f ff ff fd");
  EXPECT_EQ(down.Key({std::monostate{}}), "ff");

  OneIndex mixed({Typed(kByte), Typed(kInt), Typed(kBool), Typed(kMoney), Typed(kBigInt)},
                 {true, true, true, true, true});
  EXPECT_EQ(mixed.Key({int64_t{200}, int64_t{-2}, true, Money{1}, int64_t{1} << 40}),
            "7f c8 7f 7f fe 7f 00 7f 80 00 00 00 00 00 00 01 7f 80 00 01 00 00 00 00 00");

  OneIndex reals({Typed(kDouble), Typed(kFloat), Typed(kDateTime)}, {true, true, true});
  EXPECT_EQ(reals.Key({1.0, -2.0, OleDate{0}}),
            "7f bf f0 00 00 00 00 00 00 7f 3f ff ff ff 7f 80 00 00 00 00 00 00 00");

  Guid g;
  for (int k = 0; k < 16; ++k) g.bytes[k] = static_cast<uint8_t>(k + 1);
  OneIndex binary({Typed(kGuid), Typed(kBinary)}, {true, true});
  EXPECT_EQ(binary.Key({g, Binary{0xAA, 0xBB, 0xCC}}),
            "7f 01 02 03 04 05 06 07 08 09 09 0a 0b 0c 0d 0e 0f 10 08 "
            "7f aa bb cc 00 00 00 00 00 03");

  OneIndex numeric({Typed(kNumeric)}, {true});
  EXPECT_THROW(numeric.Key({Numeric{}}), JetError);
}

// --- Every index entry of Access-made files -----------------------------

// The database file as a page store that can only be read.
class ReadOnlyStore : public PageStore {
 public:
  ReadOnlyStore(Database& db) : db_(db), layout_(LayoutFor(db.FileHeader().IsJet3())) {}
  const Layout& FileLayout() const override { return layout_; }
  uint32_t PageCount() const override { return db_.File().PageCount(); }
  PageBuffer Read(uint32_t page) override { return db_.File().Read(page); }
  uint8_t* Modify(uint32_t) override { throw std::logic_error("read-only store"); }
  uint32_t AllocatePage() override { throw std::logic_error("read-only store"); }
  void FreePage(uint32_t) override { throw std::logic_error("read-only store"); }

 private:
  Database& db_;
  const Layout& layout_;
};

struct Tally {
  size_t checked = 0;
  size_t refused = 0;      // values of a type keys are not built for
  size_t other_order = 0;  // text in another language's sort order
};

// Recomputes every entry of every real index of the table at `tdef` from its row.
void CheckTable(Database& db, ReadOnlyStore& store, uint32_t tdef, Tally& tally,
                const std::string& where) {
  const bool jet3 = db.FileHeader().IsJet3();
  TableDefinition def = ReadTableDefinition(db.File(), db.FileHeader(), tdef);
  RowDecoder decoder(db.File(), db.FileHeader(), def);
  std::vector<Value> values;
  for (size_t i = 0; i < def.real_indexes.size(); ++i) {
    const RealIndex& index = def.real_indexes[i];
    SCOPED_TRACE(where + ", table page " + std::to_string(tdef) + ", index " + std::to_string(i));
    IndexTree tree(store, def, index);
    std::vector<IndexEntry> entries = tree.ReadAll();
    EXPECT_EQ(tree.Verify(), entries.size());
    for (const IndexEntry& e : entries) {
      PageBuffer page = db.File().Read(e.row.page);
      DataPage data(View(page), jet3, e.row.page);
      ASSERT_EQ(data.Owner(), tdef);
      RowSlot slot = data.Slot(e.row.row);
      ASSERT_FALSE(slot.deleted && !slot.overflow) << "entry for a deleted row";
      ByteView row = data.Row(e.row.row);
      PageBuffer moved;
      if (slot.overflow) {
        RowPointer to = ReadRowPointer(row, 0);
        moved = db.File().Read(to.page);
        row = DataPage(View(moved), jet3, to.page).Row(to.row);
      }
      decoder.Decode(row, values);
      std::vector<uint8_t> key;
      try {
        key = EncodeIndexKey(def, index, values, jet3);
      } catch (const JetError& err) {
        ASSERT_EQ(err.Number(), error_numbers::kNotSupported) << err.what();
        if (std::string(err.what()).find("Text in this database is sorted") != std::string::npos) {
          ++tally.other_order;
        } else {
          ++tally.refused;
        }
        continue;
      }
      ASSERT_EQ(ToHex(key), ToHex(e.key)) << "row " << int(e.row.row) << " of page " << e.row.page;
      ++tally.checked;
    }
  }
}

TEST(IndexKey, RecomputesEveryEntryOfAccessMadeIndexes) {
  if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))
    GTEST_SKIP() << "recomputes indexes Access made: the shared fixtures are not at " << kFixtures;
  std::ifstream list(kFixtures + "INDEX.tsv");
  std::string line;
  std::getline(list, line);
  Tally catalogue, old_catalogue, aces, user;
  int files = 0;
  while (std::getline(list, line)) {
    std::istringstream cells(line);
    std::string path, bytes, format, password;
    std::getline(cells, path, '\t');
    std::getline(cells, bytes, '\t');
    std::getline(cells, format, '\t');
    std::getline(cells, password, '\t');
    SCOPED_TRACE(path);
    std::shared_ptr<Database> db;
    try {
      db = Database::Open(kFixtures + path, password);
    } catch (const JetError& e) {
      // A file the engine does not open is left out.
      ASSERT_EQ(e.Number(), error_numbers::kNotSupported) << e.what();
      continue;
    }
    ++files;
    ReadOnlyStore store(*db);
    CheckTable(*db, store, 2, db->FileHeader().IsJet3() ? old_catalogue : catalogue, path);
    for (const CatalogueEntry& entry : db->Catalogue()) {
      if (entry.kind == ObjectKind::kSystemTable && entry.name == "MSysACEs") {
        CheckTable(*db, store, entry.DefinitionPage(), aces, path);
      } else if (entry.kind == ObjectKind::kUserTable) {
        CheckTable(*db, store, entry.DefinitionPage(), user, path);
      }
    }
  }
  std::printf(
      "[ index keys ] %d files; MSysObjects %zu entries equal, %zu not encodable (Access 97: %zu "
      "equal, %zu not encodable); MSysACEs %zu equal, %zu not encodable; user tables %zu equal, "
      "%zu not encodable, %zu in other languages' sort orders\n",
      files, catalogue.checked, catalogue.refused, old_catalogue.checked, old_catalogue.refused,
      aces.checked, aces.refused, user.checked, user.refused, user.other_order);
  // Every text key of the General orders is rebuilt; only values of types
  // keys are not built for are left out.
  EXPECT_EQ(catalogue.refused + old_catalogue.refused + catalogue.other_order, 0u);
  EXPECT_GT(old_catalogue.checked, 300u);
  EXPECT_GT(files, 60);
  EXPECT_GT(catalogue.checked, 3000u);
  EXPECT_GT(aces.checked, 500u);
}

}  // namespace
}  // namespace jet
