// Text and table names beyond ASCII: the bytes compressed text is stored as,
// and databases whose tables are named in other scripts, read back by us and
// by the other readers.
#include <gtest/gtest.h>

#include <functional>

#include "error_of.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/text_codec.h"
#include "other_readers.h"

namespace jet {
namespace {

using B = std::vector<uint8_t>;

std::vector<uint8_t> Stored(const std::string& text, bool compress = true) {
  std::vector<uint16_t> scratch;
  std::vector<uint8_t> out;
  AppendUnicodeText(text, compress, scratch, out);
  return out;
}

// Empty when the only zero bytes of a compressed value are its mode
// switches, as in the files Access writes; else what is wrong.
std::string ZeroBytesOnlySwitch(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return "";
  bool one_byte = true;
  for (size_t i = 2; i < bytes.size();) {
    if (bytes[i] == 0) {
      one_byte = !one_byte;
      ++i;
    } else if (one_byte) {
      ++i;
    } else if (i + 1 >= bytes.size() || bytes[i + 1] == 0) {
      return "a two-byte unit at " + std::to_string(i) + " holds a zero byte";
    } else {
      i += 2;
    }
  }
  return "";
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t k = 0; k < times; ++k) out += piece;
  return out;
}

// The values every format must store so that each reader reads them alike.
std::vector<std::string> ValueTable() {
  return {"Gr\u00F6\u00DFe \u00C6r\u00F8 caf\u00E9",
          "O'Hara \u00E9 \u65E5\u672C \u20AC",
          "\u0391\u03B8\u03AE\u03BD\u03B1 \u03BA\u03B1\u03B9 Ath",
          "\u041C\u043E\u0441\u043A\u0432\u0430, \u0420\u043E\u0441\u0441\u0438\u044F",
          "launch \U0001F680 and smile \U0001F600!",
          "\u0100 and \u4E00 and a\u2000b",
          "x",
          "\u00E9\u4E2D",
          Repeat("\u00E9", 1024),
          Repeat("\u00E9", 1025),
          Repeat("a\u4E2D", 512)};
}

TEST(CompressedText, ZeroBytesAreOnlyModeSwitches) {
  for (const std::string& text : ValueTable()) {
    SCOPED_TRACE(text.substr(0, 40));
    const B bytes = Stored(text);
    EXPECT_EQ(ZeroBytesOnlySwitch(bytes), "");
    std::string back;
    DecodeUnicodeText(ByteView(bytes.data(), bytes.size()), back);
    EXPECT_EQ(back, text);
  }
  // Latin-1 alone: one byte a character.
  EXPECT_EQ(Stored("Gr\u00F6\u00DFe"), (B{0xFF, 0xFE, 'G', 'r', 0xF6, 0xDF, 'e'}));
  // Mixed: the blank between the CJK and the euro sign goes in one-byte mode.
  EXPECT_EQ(Stored("O'Hara \u00E9 \u65E5\u672C \u20AC"),
            (B{0xFF, 0xFE, 'O',  '\'', 'H',  'a', 'r', 'a', ' ',  0xE9, ' ',
               0,    0xE5, 0x65, 0x2C, 0x67, 0,   ' ', 0,   0xAC, 0x20}));
  // A lone Latin-1 letter between wide characters is written in one-byte
  // mode too, at the cost of two switches; where that does not pay, the
  // value is plain UCS-2.
  EXPECT_EQ(Stored("abc\u4E2Dx\u6587def"),
            (B{0xFF, 0xFE, 'a', 'b', 'c', 0, 0x2D, 0x4E, 0, 'x', 0, 0x87, 0x65, 0, 'd', 'e', 'f'}));
  EXPECT_EQ(Stored("\u4E2Dx\u6587y\u5B57"),
            (B{0x2D, 0x4E, 'x', 0, 0x87, 0x65, 'y', 0, 0x57, 0x5B}));
  // Units with a zero low byte cannot be compressed at all.
  for (const char* text : {"abcd \u0100", "abcd \u4E00", "abcd a\u2000b", "abcd \U0001F600"})
    EXPECT_EQ(Stored(text)[0], 'a') << text;
  // Greek and Cyrillic alone gain nothing; one or two characters stay plain.
  EXPECT_EQ(Stored("\u0391\u03B8\u03AE").size(), 6u);
  EXPECT_EQ(Stored("x"), (B{'x', 0}));
  EXPECT_EQ(Stored("\u00E9\u00E9"), (B{0xE9, 0, 0xE9, 0}));
  EXPECT_EQ(Stored(Repeat("\u00E9", 1025)).size(), 2u + 1025);
}

#if defined(VQ_SQL_TOOL)
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> TextColumn(Database& db, const std::string& table, size_t column) {
  auto reader = db.OpenTable(table);
  std::vector<std::string> out;
  std::vector<Value> row;
  while (reader->Next(row)) {
    const std::string* s = std::get_if<std::string>(&row[column]);
    out.push_back(s ? *s : "(null)");
  }
  return out;
}

using testing::ErrorOf;

// (mdbtools shows a character beyond U+FFFF in a table name as "??", so the
// names keep to the Basic Multilingual Plane; index_key_test keys such names.)
// Tables named in several scripts take the value table in TEXT and MEMO
// columns, a copy, a rename (copy and drop) and a drop; we, mdbtools and
// mdb-reader read the result alike.
TEST(InternationalNames, TablesNamedInAnyScriptInEveryFormat) {
  const std::string names[] = {
      "Pr\u00FCfung \u00C6r\u00F8 \u8868", "\u0417\u0430\u043A\u0430\u0437\u044B",
      "\u03A0\u03B5\u03BB\u03AC\u03C4\u03B5\u03C2", "\u9867\u5BA2 \u2605", "Caf\u00E9-Liste's"};
  for (NewFormat format :
       {NewFormat::kAccess2000, NewFormat::kAccess2003, NewFormat::kAccess2007}) {
    SCOPED_TRACE(static_cast<int>(format));
    testing::ScratchDir dir;
    const std::string path = dir / (format == NewFormat::kAccess2007 ? "t.accdb" : "t.mdb");
    Database::Create(path, format, "");
    auto db = Database::Open(path, "");
    db->EnableWriting();
    for (const std::string& name : names) {
      db->Execute("CREATE TABLE [" + name + "] (id LONG, [Gr\u00F6\u00DFe] TEXT(255), m MEMO)");
    }
    const std::vector<std::string> values = ValueTable();
    for (size_t k = 0; k < values.size(); ++k) {
      const std::string text = Utf16Length(values[k]) <= 255 ? Quote(values[k]) : "NULL";
      db->Execute("INSERT INTO [" + names[0] + "] VALUES (" + std::to_string(k) + ", " + text +
                  ", " + Quote(values[k]) + ")");
    }
    EXPECT_EQ(TextColumn(*db, names[0], 2), values);
    // The rename: a copy under the new name, then the old one dropped.
    db->Execute("SELECT * INTO [\u8868 \u00FCber alles] FROM [" + names[0] + "]");
    db->Execute("DROP TABLE [" + names[0] + "]");
    db->Execute("DROP TABLE [" + names[1] + "]");
    EXPECT_EQ(TextColumn(*db, "\u8868 \u00DCBER ALLES", 2), values);
    // Names compare without regard to case beyond ASCII too.
    EXPECT_EQ(ErrorOf([&] {
                db->Execute("CREATE TABLE [\u03C0\u03B5\u03BB\u03AC\u03C4\u03B5\u03C2] (a LONG)");
              }),
              error_numbers::kTableExists);
    std::string what;
    EXPECT_EQ(ErrorOf([&] { db->Execute("CREATE TABLE [a.b] (a LONG)"); }, &what),
              error_numbers::kBadName);
    EXPECT_EQ(what, "Access table names cannot hold '.': choose another name.");
    db.reset();

    std::string skipped;
    const std::string problems = testing::CheckWithOtherReaders(path, "", skipped);
    EXPECT_EQ(problems, "");
    if (!skipped.empty()) std::printf("other readers skipped: %s\n", skipped.c_str());
  }
}

// Access 97 files keep text and names in their Windows code page. New files
// in the Greek, Central European and Turkish pages take their own script in
// table and column names and values, read back as written by us, mdbtools
// and mdb-reader; a character outside the page is refused by column and
// character, and so is an indexed value whose General 97 key is not known.
TEST(InternationalNames, Access97FilesInOtherCodePages) {
  const struct {
    uint16_t code_page;
    std::string table, column, foreign;
    std::vector<std::string> values;
    std::string shared;  // only characters at the byte 1252 has them at
  } cases[] = {
      {1253,
       "Pelates",
       "\u038C\u03BD\u03BF\u03BC\u03B1",
       "\u0142",
       {"\u0391\u03B8\u03AE\u03BD\u03B1 \u03BA\u03B1\u03B9 \u0398\u03B5\u03C3\u03C3\u03B1\u03BB"
        "\u03BF\u03BD\u03AF\u03BA\u03B7 \u20AC 5",
        "\u03A8\u03C5\u03C7\u03AE, \u03CA\u03CB\u0390\u03B0 \u00A3\u00A9"},
       "\u00A3 5 \u00A9 \u20AC \u00BD \u2030"},
      {1250,
       "Zam\u00F3wienia",
       "Zam\u00F3wi\u0142 pan \u017Bu\u0107",
       "\u0394",
       {"Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144",
        "P\u0159\u00EDli\u0161 \u017Elu\u0165ou\u010Dk\u00FD k\u016F\u0148 \u0150\u0171"},
       "Caf\u00E9 \u00DCber \u00F3 \u00A7 \u0160\u017E \u20AC"},
      {1254,
       "M\u00FCd\u00FCrler",
       "\u015Eehir",
       "\u0394",
       {"I\u011Fd\u0131r \u015Fehri, \u0130stanbul", "\u00C7ok g\u00FCzel \u00D6\u011Fretmen"},
       "\u00C7ok g\u00FCzel \u00C0 \u0152 \u00FF \u20AC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code_page);
    testing::ScratchDir dir;
    const std::string path = dir / "t.mdb";
    Database::Create(path, NewFormat::kAccess97, "", c.code_page);
    {
      auto db = Database::Open(path, "");
      EXPECT_EQ(db->FileHeader().code_page, c.code_page);
      db->EnableWriting();
      db->Execute("CREATE TABLE [" + c.table + "] (id LONG, [" + c.column + "] TEXT(80), m MEMO)");
      db->Execute("CREATE TABLE Shared (t TEXT(80), m MEMO)");
      db->Execute("INSERT INTO Shared VALUES (" + Quote(c.shared) + ", " + Quote(c.shared) + ")");
      for (size_t k = 0; k < c.values.size(); ++k) {
        const std::string row = " VALUES (" + std::to_string(k) + ", " + Quote(c.values[k]) + ", " +
                                Quote(c.values[k]) + ")";
        db->Execute("INSERT INTO [" + c.table + "]" + row);
      }
      EXPECT_EQ(TextColumn(*db, c.table, 1), c.values);
      std::string what;
      EXPECT_EQ(ErrorOf(
                    [&] {
                      db->Execute("INSERT INTO [" + c.table + "] VALUES (9, " + Quote(c.foreign) +
                                  ", NULL)");
                    },
                    &what),
                error_numbers::kOutOfRange);
      EXPECT_NE(what.find("Column '" + c.column + "'"), std::string::npos) << what;
      EXPECT_NE(what.find(DescribeCharacter(c.code_page == 1250   ? 0x0394
                                            : c.code_page == 1254 ? 0x0394
                                                                  : 0x0142)),
                std::string::npos)
          << what;
      EXPECT_NE(what.find("code page " + std::to_string(c.code_page)), std::string::npos) << what;
    }
    auto db = Database::Open(path, "");
    EXPECT_EQ(TextColumn(*db, c.table, 1), c.values);
    EXPECT_EQ(TextColumn(*db, c.table, 2), c.values);
    db.reset();
    const std::vector<uint8_t> bytes = testing::FileBytes(path);
    // The sort order General 97 is known here for the characters of 1252
    // only: a table name (the catalogue's index keys it) or an indexed value
    // beyond them is refused, and the file is left as it was.
    {
      auto writer = Database::Open(path, "");
      writer->EnableWriting();
      std::string what;
      EXPECT_EQ(
          ErrorOf([&] { writer->Execute("CREATE TABLE [" + c.values[0] + "] (a LONG)"); }, &what),
          error_numbers::kBadName);
      EXPECT_NE(what.find("cannot yet sort the way Access 97 sorts table names"), std::string::npos)
          << what;
      writer->Execute("CREATE TABLE Keyed (k TEXT(80))");
      writer->Execute("CREATE INDEX ByK ON Keyed (k)");
      writer->Execute("INSERT INTO Keyed VALUES ('plain ASCII')");
      EXPECT_NE(
          ErrorOf([&] { writer->Execute("INSERT INTO Keyed VALUES (" + Quote(c.values[0]) + ")"); },
                  &what),
          0);
      EXPECT_NE(what.find("Column 'k' is indexed"), std::string::npos) << what;
      EXPECT_EQ(TextColumn(*writer, "Keyed", 0), std::vector<std::string>{"plain ASCII"});
    }
    db = Database::Open(path, "");
    EXPECT_EQ(TextColumn(*db, c.table, 1), c.values);
    EXPECT_EQ(TextColumn(*db, "Shared", 1), std::vector<std::string>{c.shared});
    db.reset();
    // mdbtools reads names and values in the file's code page. mdb-reader
    // (3.2) reads all Access 97 text as 1252 whatever the file says, so it is
    // held only to the text that reads alike in both: once the table in the
    // code page's own script is gone.
    std::string skipped;
    EXPECT_EQ(testing::CheckWithOtherReaders(path, "", skipped, true, false, false), "");
    {
      auto writer = Database::Open(path, "");
      writer->EnableWriting();
      writer->Execute("DROP TABLE [" + c.table + "]");
    }
    EXPECT_EQ(testing::CheckWithOtherReaders(path, "", skipped), "");
    if (!skipped.empty()) std::printf("other readers skipped: %s\n", skipped.c_str());
  }
}

// A database whose catalogue sorts in another language's order is left as
// it was, with an error naming that order.
TEST(InternationalNames, OtherLanguagesSortOrderIsRefusedAndTheFileKept) {
  testing::ScratchDir dir;
  const std::string path = dir / "cyrillic.mdb";
  Database::Create(path, NewFormat::kAccess2003, "");
  // Mark the catalogue's text columns (type 0x0A at the start of a 25-byte
  // column block, LCID 0x0409 at 11) as sorting in Cyrillic, LCID 0x0419.
  std::vector<uint8_t> bytes = testing::FileBytes(path);
  const size_t page = 2 * 4096;
  int marked = 0;
  for (size_t at = page; at + 25 < page + 4096; ++at) {
    if (bytes[at] == 0x0A && bytes[at + 11] == 0x09 && bytes[at + 12] == 0x04) {
      bytes[at + 11] = 0x19;
      ++marked;
    }
  }
  ASSERT_GE(marked, 1);
  testing::WriteFileBytes(path, bytes);
  {
    auto db = Database::Open(path, "");
    db->EnableWriting();
    std::string what;
    EXPECT_EQ(ErrorOf([&] { db->Execute("CREATE TABLE Kunden (a LONG)"); }, &what),
              error_numbers::kNotSupported);
    EXPECT_NE(what.find("the Cyrillic sort order (language code 1049)"), std::string::npos) << what;
  }
  EXPECT_EQ(testing::FileBytes(path), bytes);
}
#endif

}  // namespace
}  // namespace jet
