// Password-encrypted .accdb files: the encrypted fixtures Access made, read
// and written; files encrypted here with each scheme, opened with their
// password only; and damaged encryption headers.
#include "jet/office_crypto.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <tuple>

#include "error_of.h"
#include "jet/database.h"
#include "jet/encryption_info.h"
#include "other_readers.h"
#include "read_everything.h"
#include "test_file_sources.h"

namespace jet {
namespace {

using testing::CheckWithOtherReaders;

using testing::CopyFile;
using testing::FileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

// For the tests whose subject is the encrypted files Access made.
#define REQUIRE_FIXTURES()                                                                    \
  if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))                                      \
  GTEST_SKIP() << "needs the encrypted files made by Access: the shared fixtures are not at " \
               << kFixtures

using Rows = std::vector<std::vector<Value>>;

using testing::ErrorOf;

// Every user table's rows, by table name.
std::map<std::string, Rows> UserRows(Database& db) {
  std::map<std::string, Rows> out;
  std::vector<Value> row;
  for (const CatalogueEntry& e : db.Catalogue()) {
    if (e.kind != ObjectKind::kUserTable) continue;
    auto reader = db.OpenTable(e.name);
    Rows& rows = out[e.name];
    while (reader->Next(row)) rows.push_back(row);
  }
  return out;
}

size_t ValueCount(const std::map<std::string, Rows>& tables) {
  size_t n = 0;
  for (const auto& [name, rows] : tables)
    for (const auto& row : rows) n += row.size();
  return n;
}

// The encrypted .accdb fixtures and their passwords, from INDEX.tsv.
std::vector<std::pair<std::string, std::string>> EncryptedFixtures() {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream index(kFixtures + "INDEX.tsv");
  std::string line;
  std::getline(index, line);
  while (std::getline(index, line)) {
    std::istringstream cells(line);
    std::string path, bytes, format, password;
    std::getline(cells, path, '\t');
    std::getline(cells, bytes, '\t');
    std::getline(cells, format, '\t');
    std::getline(cells, password, '\t');
    if (format.rfind("ACE", 0) != 0 || password.empty()) continue;
    std::vector<uint8_t> first = FileBytes(kFixtures + path);
    first.resize(4096);
    if (ParseHeader(ByteView(first.data(), first.size()), path).IsOfficeEncrypted())
      out.emplace_back(path, password);
  }
  return out;
}

// True when `needle` appears in the file's pages after page 0, as 8-bit text
// (how Access stores compressible text) or as UTF-16LE.
bool PlainTextAfterPage0(const std::vector<uint8_t>& file, const std::string& needle) {
  std::string wide;
  for (char c : needle) {
    wide += c;
    wide += '\0';
  }
  std::string_view pages(reinterpret_cast<const char*>(file.data()) + 4096, file.size() - 4096);
  return pages.find(needle) != std::string_view::npos || pages.find(wide) != std::string_view::npos;
}

// Creates, fills, copies and drops tables in the open file, checks what our
// reader reads back, and returns the texts that must not appear in plain.
std::vector<std::string> WriteSecrets(Database& db) {
  db.Execute("CREATE TABLE ZebuLedger (id LONG, note TEXT(60), memo MEMO, amount CURRENCY)");
  for (int k = 1; k <= 40; ++k) {
    db.Execute("INSERT INTO ZebuLedger VALUES (" + std::to_string(k) + ", 'QuokkaNote" +
               std::to_string(k) + "', 'WombatMemo" + std::string(300, 'w') + "', " +
               std::to_string(k) + ".25)");
  }
  db.Execute("SELECT * INTO ZebuCopy FROM ZebuLedger");
  db.Execute("CREATE TABLE ZebuGone (x LONG)");
  db.Execute("DROP TABLE ZebuGone");
  db.Close();
  return {"ZebuLedger", "ZebuCopy", "QuokkaNote", "WombatMemo"};
}

void ExpectSecretsReadBack(Database& db) {
  auto tables = UserRows(db);
  ASSERT_EQ(tables.count("ZebuLedger"), 1u);
  ASSERT_EQ(tables.count("ZebuGone"), 0u);
  const Rows& rows = tables["ZebuLedger"];
  ASSERT_EQ(rows.size(), 40u);
  EXPECT_EQ(tables["ZebuCopy"], rows);
  for (const auto& row : rows) {
    int64_t id = std::get<int64_t>(row[0]);
    EXPECT_EQ(std::get<std::string>(row[1]), "QuokkaNote" + std::to_string(id));
    EXPECT_EQ(std::get<std::string>(row[2]).size(), 310u);
  }
}

TEST(EncryptedFixtures, OpenWithTheirPasswordAndReadAsMdbReaderDoes) {
  REQUIRE_FIXTURES();
  auto files = EncryptedFixtures();
  ASSERT_GE(files.size(), 3u) << "INDEX.tsv lists fewer encrypted .accdb files than expected";
  size_t values = 0, tables = 0;
  std::string skipped;
  for (const auto& [path, password] : files) {
    SCOPED_TRACE(path);
    auto db = Database::Open(kFixtures + path, password);
    auto rows = UserRows(*db);
    EXPECT_FALSE(rows.empty());
    values += ValueCount(rows);
    tables += rows.size();
    EXPECT_GT(jet::testing::ReadEverything(kFixtures + path, password), 0u) << "system tables too";
    EXPECT_EQ(CheckWithOtherReaders(kFixtures + path, password, skipped, false), "");
  }
  std::printf("[ encrypted fixtures ] %zu files, %zu tables, %zu values compared with %s\n",
              files.size(), tables, values, skipped.empty() ? "mdb-reader" : "nothing else");
  if (!skipped.empty()) std::printf("  mdb-reader check skipped: %s\n", skipped.c_str());
}

TEST(EncryptedFixtures, WrongMissingPasswordAndDamagedEncryptionInfoAreRefused) {
  REQUIRE_FIXTURES();
  for (const auto& fixture : EncryptedFixtures()) {
    const std::string& path = fixture.first;
    const std::string& password = fixture.second;
    SCOPED_TRACE(path);
    std::string what;
    for (const std::string& wrong : {std::string(""), password + "x", std::string("PASSWORD")}) {
      EXPECT_EQ(ErrorOf([&] { Database::Open(kFixtures + path, wrong); }, &what),
                error_numbers::kBadPassword);
      EXPECT_EQ(what, "Not a valid password.") << "the text Jet's password check gives";
    }

    ScratchDir dir;
    const std::vector<uint8_t> good = FileBytes(kFixtures + path);
    const size_t blob = 0x29B;
    const uint16_t length = static_cast<uint16_t>(good[0x299] | good[0x29A] << 8);
    const bool agile = good[blob] == 4 && good[blob + 2] == 4;
    std::vector<std::function<void(std::vector<uint8_t>&)>> damages = {
        // The length runs past page 0, or leaves too little to hold a version.
        [](std::vector<uint8_t>& b) { b[0x299] = 0xA0, b[0x29A] = 0x0F; },
        [](std::vector<uint8_t>& b) { b[0x299] = 6, b[0x29A] = 0; },
        // An unknown version.
        [](std::vector<uint8_t>& b) { b[blob] = 9; },
        // Cut in the middle of the verifier or the XML.
        [length](std::vector<uint8_t>& b) {
          b[0x299] = static_cast<uint8_t>(length / 2), b[0x29A] = static_cast<uint8_t>(length >> 9);
        },
    };
    if (agile) {
      // Malformed XML, and a salt that is not base64.
      damages.push_back([](std::vector<uint8_t>& b) {
        std::string_view s(reinterpret_cast<char*>(b.data()), 4096);
        b[s.find("<keyData") + 4] = '!';
      });
      damages.push_back([](std::vector<uint8_t>& b) {
        std::string_view s(reinterpret_cast<char*>(b.data()), 4096);
        b[s.find("saltValue=\"") + 12] = '*';
      });
    } else {
      // A header size beyond the blob.
      damages.push_back([](std::vector<uint8_t>& b) { b[blob + 9] = 0x40; });
    }
    for (size_t k = 0; k < damages.size(); ++k) {
      SCOPED_TRACE("damage " + std::to_string(k));
      std::vector<uint8_t> bytes = good;
      damages[k](bytes);
      const std::string copy = dir / ("damaged" + std::to_string(k) + ".accdb");
      WriteFileBytes(copy, bytes);
      EXPECT_EQ(ErrorOf([&] { Database::Open(copy, password); }, &what), error_numbers::kCorrupt);
      EXPECT_NE(what.find("damaged"), std::string::npos) << what;
    }
  }
}

TEST(EncryptedFixtures, WrittenTablesStayEncryptedAndReadable) {
  REQUIRE_FIXTURES();
  for (const auto& [path, password] : EncryptedFixtures()) {
    SCOPED_TRACE(path);
    ScratchDir dir;
    const std::string copy = CopyFile(kFixtures + path, dir / "copy.accdb");
    const Rows before = UserRows(*Database::Open(copy, password))["Table1"];
    std::vector<std::string> secrets = WriteSecrets(*Database::Open(copy, password));
    EXPECT_EQ(ErrorOf([&] { Database::Open(copy, "wrong"); }), error_numbers::kBadPassword);
    {
      auto db = Database::Open(copy, password);
      ExpectSecretsReadBack(*db);
      EXPECT_EQ(UserRows(*db)["Table1"], before);
      // The open Database is handed out again only for the right password.
      EXPECT_EQ(ErrorOf([&] { Database::Open(copy, ""); }), error_numbers::kBadPassword);
      EXPECT_EQ(Database::Open(copy, password), db);
    }
    const std::vector<uint8_t> file = FileBytes(copy);
    for (const std::string& s : secrets)
      EXPECT_FALSE(PlainTextAfterPage0(file, s)) << s << " is in the file in plain";
    std::string skipped;
    EXPECT_EQ(CheckWithOtherReaders(copy, password, skipped, false), "");
    if (!skipped.empty()) std::printf("  mdb-reader check skipped: %s\n", skipped.c_str());
  }
}

struct SchemeCase {
  const char* name;
  OfficeScheme scheme;
  uint32_t key_bits;
  const char* hash;
  // mdb-reader reads this scheme. It reads neither 40-bit RC4 nor agile with
  // SHA-1: both need a value padded to a longer size (the RC4 key to 16
  // bytes, the SHA-1 verifier hash to 32), and its padding helper never pads.
  bool mdb_reader;
  const char* fixture;
};

class SelfEncrypted : public ::testing::TestWithParam<SchemeCase> {};

// A plain .accdb with rows: a new one, or a copy of a file Access made.
std::string PlainFileWithRows(const ScratchDir& dir, const testing::FileSource& source) {
  const std::string path = source.MakeIn(dir, "plain");
  if (source.fixture) return path;
  auto db = Database::Open(path, "");
  db->Execute(
      "CREATE TABLE Table1 (id LONG, name TEXT(40), note MEMO, paid CURRENCY, seen DATETIME)");
  for (int k = 1; k <= 30; ++k)
    db->Execute("INSERT INTO Table1 VALUES (" + std::to_string(k) + ", 'Größe " +
                std::to_string(k) + "', '" + std::string(200 + k, 'n') + "', " + std::to_string(k) +
                ".5, #2024-02-" + std::to_string(1 + k % 28) + "#)");
  db->Close();
  return path;
}

// A plain file encrypted here opens with its password only, reads as the
// plain file did, takes writes that stay encrypted, and reads in mdb-reader
// where it knows the scheme.
TEST_P(SelfEncrypted, OpensWithItsPasswordOnlyAndStaysEncryptedWhenWritten) {
  const SchemeCase& c = GetParam();
  for (const testing::FileSource& source :
       testing::AtHand({{NewFormat::kAccess2007, nullptr}, {NewFormat::kAccess2007, c.fixture}})) {
    SCOPED_TRACE(source.Name());
    ScratchDir dir;
    const std::string plain = PlainFileWithRows(dir, source);
    const std::string copy = CopyFile(plain, dir / "copy.accdb");
    EncryptionSettings settings = DefaultEncryptionSettings(c.scheme);
    settings.key_bits = c.key_bits;
    settings.hash = c.hash;
    const std::string password = "Zu geheim ü 7";
    EncryptAccessFile(copy, settings, password);

    const std::vector<uint8_t> plain_bytes = FileBytes(plain), bytes = FileBytes(copy);
    ASSERT_EQ(bytes.size(), plain_bytes.size());
    for (size_t p = 1; p * 4096 < bytes.size(); ++p)
      ASSERT_FALSE(std::equal(bytes.begin() + p * 4096, bytes.begin() + (p + 1) * 4096,
                              plain_bytes.begin() + p * 4096))
          << "page " << p << " is plain";
    EXPECT_EQ(ErrorOf([&] { Database::Open(copy, ""); }), error_numbers::kBadPassword);
    EXPECT_EQ(ErrorOf([&] { Database::Open(copy, "Zu geheim u 7"); }), error_numbers::kBadPassword);
    {
      auto db = Database::Open(copy, password);
      auto expected = UserRows(*Database::Open(plain, ""));
      EXPECT_EQ(UserRows(*db), expected);
      EXPECT_GT(ValueCount(expected), 0u);
    }
    std::string skipped;
    if (c.mdb_reader) {
      EXPECT_EQ(CheckWithOtherReaders(copy, password, skipped, false), "");
    }

    std::vector<std::string> secrets = WriteSecrets(*Database::Open(copy, password));
    ExpectSecretsReadBack(*Database::Open(copy, password));
    const std::vector<uint8_t> written = FileBytes(copy);
    for (const std::string& s : secrets)
      EXPECT_FALSE(PlainTextAfterPage0(written, s)) << s << " is in the file in plain";
    if (c.mdb_reader) {
      EXPECT_EQ(CheckWithOtherReaders(copy, password, skipped, false), "");
    }

    // Encrypting twice is refused and leaves the file alone.
    EXPECT_EQ(ErrorOf([&] { EncryptAccessFile(copy, settings, "other"); }),
              error_numbers::kNotSupported);
    EXPECT_TRUE(FileBytes(copy) == written);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, SelfEncrypted,
    ::testing::Values(SchemeCase{"Rc4CryptoApi40", OfficeScheme::kRc4CryptoApi, 40, "SHA1", false,
                                 "mdb-reader/test/data/V2007/test.accdb"},
                      SchemeCase{"Rc4CryptoApi128", OfficeScheme::kRc4CryptoApi, 128, "SHA1", true,
                                 "mdb-reader/test/data/V2010/test.accdb"},
                      SchemeCase{"StandardAes128", OfficeScheme::kStandardAes, 128, "SHA1", false,
                                 "mdb-reader/test/data/V2007/test.accdb"},
                      SchemeCase{"StandardAes256", OfficeScheme::kStandardAes, 256, "SHA1", false,
                                 "mdb-reader/test/data/V2010/test.accdb"},
                      SchemeCase{"NonStandardAes128", OfficeScheme::kNonStandardAes, 128, "SHA1",
                                 false, "mdb-reader/test/data/V2010/test.accdb"},
                      SchemeCase{"AgileAes128Sha1", OfficeScheme::kAgile, 128, "SHA1", false,
                                 "mdb-reader/test/data/V2010/test.accdb"},
                      SchemeCase{"AgileAes256Sha512", OfficeScheme::kAgile, 256, "SHA512", true,
                                 "mdb-reader/test/data/V2016/bigint.accdb"}),
    [](const ::testing::TestParamInfo<SchemeCase>& info) { return std::string(info.param.name); });

// Every scheme the tool names encrypts a file made here: it opens with its
// password only and reads as before, and an independent check
// (readers/check_office_encryption.py: hashlib, openssl and the published key
// derivations, none of our code) accepts the password and deciphers page 1.
TEST(EncryptionSchemes, EveryNamedSchemeMakesAFileThatAnIndependentCheckOpens) {
  ScratchDir dir;
  const std::string plain = dir / "plain.accdb";
  Database::Create(plain, NewFormat::kAccess2007, "");
  {
    auto db = Database::Open(plain, "");
    db->Execute("CREATE TABLE Tide (id LONG, place TEXT(40), height DOUBLE)");
    for (int k = 1; k <= 30; ++k)
      db->Execute("INSERT INTO Tide VALUES (" + std::to_string(k) + ", 'Kai " + std::to_string(k) +
                  " ü', " + std::to_string(k) + ".5)");
    db->Close();
  }
  const auto expected = UserRows(*Database::Open(plain, ""));
  ASSERT_EQ(expected.at("Tide").size(), 30u);

  std::vector<std::string> names = {"rc4-40",
                                    "rc4-56",
                                    "rc4-128",
                                    "standard-aes128",
                                    "standard-aes192",
                                    "standard-aes256",
                                    "nonstandard-aes128",
                                    "nonstandard-aes192",
                                    "nonstandard-aes256"};
  for (const char* bits : {"128", "192", "256"})
    for (const char* hash : {"sha1", "sha256", "sha384", "sha512"})
      names.push_back(std::string("agile-aes") + bits + "-" + hash);

  const std::string checker = std::string(VQ_READERS_DIR) + "/check_office_encryption.py";
  std::string out;
  const bool can_check = testing::RunCommand("openssl version", out) == 0 &&
                         testing::RunCommand(std::string(VQ_PYTHON) + " --version", out) == 0;
  if (!can_check) std::printf("  no openssl or python: the independent check is skipped\n");
  const std::string password = "Zeit & Flut ö";
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string copy = CopyFile(plain, dir / (name + ".accdb"));
    EncryptionSettings settings = EncryptionSettingsNamed(name);
    settings.spin_count = 1000;  // the rounds are the same code at any count
    ASSERT_NO_THROW(EncryptAccessFile(copy, settings, password));
    EXPECT_EQ(ErrorOf([&] { Database::Open(copy, "Zeit & Flut o"); }), error_numbers::kBadPassword);
    EXPECT_EQ(UserRows(*Database::Open(copy, password)), expected);
    if (!can_check) continue;
    const std::string command =
        std::string(VQ_PYTHON) + " '" + checker + "' '" + copy + "' '" + password + "'";
    EXPECT_EQ(testing::RunCommand(command, out), 0) << out;
    EXPECT_EQ(out, name + " ok\n");
    EXPECT_EQ(
        testing::RunCommand(
            std::string(VQ_PYTHON) + " '" + checker + "' '" + copy + "' 'Zeit & Flut o'", out),
        3)
        << out;
  }
}

TEST(EncryptionInfo, BlobsRoundTripAndCutOnesAreDamagedNotCrashes) {
  for (OfficeScheme scheme : {OfficeScheme::kRc4CryptoApi, OfficeScheme::kStandardAes,
                              OfficeScheme::kNonStandardAes, OfficeScheme::kAgile}) {
    EncryptionSettings settings = DefaultEncryptionSettings(scheme);
    settings.spin_count = 10;
    NewEncryption made = MakeEncryption(settings, "pw");
    EncryptionInfo info = ParseEncryptionInfo(ByteView(made.blob.data(), made.blob.size()));
    EXPECT_EQ(info.scheme, scheme);
    EXPECT_EQ(SerializeEncryptionInfo(info), made.blob);
    EXPECT_EQ(ErrorOf([&] { OfficeCipher::Open(info, made.page_key, "PW"); }),
              error_numbers::kBadPassword);

    // A page enciphers and deciphers back; page 0 is never touched.
    std::vector<uint8_t> page(4096), original;
    for (size_t k = 0; k < page.size(); ++k) page[k] = static_cast<uint8_t>(k * 7);
    original = page;
    made.cipher->Encrypt(5, page.data(), page.size());
    EXPECT_NE(page, original);
    std::vector<uint8_t> other = original;
    made.cipher->Encrypt(6, other.data(), other.size());
    EXPECT_NE(page, other) << "each page has its own key";
    made.cipher->Decrypt(5, page.data(), page.size());
    EXPECT_EQ(page, original);
    made.cipher->Encrypt(0, page.data(), page.size());
    EXPECT_EQ(page, original);

    for (size_t cut = 0; cut < made.blob.size(); ++cut) {
      EXPECT_EQ(ErrorOf([&] { ParseEncryptionInfo(ByteView(made.blob.data(), cut)); }),
                error_numbers::kCorrupt)
          << "cut at " << cut;
    }
  }
  EXPECT_EQ(ErrorOf([] { MakeEncryption(DefaultEncryptionSettings(OfficeScheme::kAgile), ""); }),
            error_numbers::kNotSupported);
  EncryptionSettings bad = DefaultEncryptionSettings(OfficeScheme::kRc4CryptoApi);
  bad.key_bits = 44;
  EXPECT_EQ(ErrorOf([&] { MakeEncryption(bad, "pw"); }), error_numbers::kNotSupported);
  // A scheme that cannot be applied is refused as such, never as damage.
  for (auto [scheme, bits, hash] : {std::tuple{OfficeScheme::kAgile, 512u, "SHA512"},
                                    std::tuple{OfficeScheme::kAgile, 256u, "MD5"},
                                    std::tuple{OfficeScheme::kStandardAes, 64u, "SHA1"}}) {
    EncryptionSettings s = DefaultEncryptionSettings(scheme);
    s.key_bits = bits;
    s.hash = hash;
    std::string what;
    EXPECT_EQ(ErrorOf([&] { MakeEncryption(s, "pw"); }, &what), error_numbers::kNotSupported);
    EXPECT_EQ(what.find("damaged"), std::string::npos) << what;
  }
  EXPECT_EQ(EncryptionSettingsNamed("rc4-40").key_bits, 40u);
  EXPECT_EQ(EncryptionSettingsNamed("agile-aes128-sha1").hash, "SHA1");
  EXPECT_EQ(EncryptionSettingsNamed("standard-aes192").scheme, OfficeScheme::kStandardAes);
  for (const char* name : {"rc4-", "rc4-128x", "agile-aes256", "agile-aes256-md5", "aes"})
    EXPECT_EQ(ErrorOf([&] { EncryptionSettingsNamed(name); }), error_numbers::kNotSupported)
        << name;
  EXPECT_EQ(DecodeBase64("AAEC/w=="), (std::vector<uint8_t>{0, 1, 2, 255}));
  EXPECT_EQ(EncodeBase64(ByteView(reinterpret_cast<const uint8_t*>("ab"), 2)), "YWI=");
  EXPECT_EQ(ErrorOf([] { DecodeBase64("A"); }), error_numbers::kCorrupt);
  EXPECT_EQ(ErrorOf([] { DecodeBase64("AA=A"); }), error_numbers::kCorrupt);
}

}  // namespace
}  // namespace jet
