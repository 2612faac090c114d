#include "jet/header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace jet {
namespace {

// A page 0 as Access writes it: plain fields, then the RC4 mask over them.
std::vector<uint8_t> MakeHeader(uint8_t version, const std::u16string& password,
                                double created = 40637.7, uint32_t page_key = 0) {
  const bool jet3 = version == 0;
  std::vector<uint8_t> page(jet3 ? 2048 : 4096, 0);
  page[1] = 1;
  std::memcpy(page.data() + 4, version >= 2 ? "Standard ACE DB" : "Standard Jet DB", 15);
  page[0x14] = version;
  page[0x3C] = 0xE4;
  page[0x3D] = 0x04;
  std::memcpy(page.data() + 0x3E, &page_key, 4);
  if (jet3) {
    for (size_t k = 0; k < password.size(); ++k) page[0x42 + k] = static_cast<uint8_t>(password[k]);
  } else {
    std::memcpy(page.data() + 0x72, &created, 8);
    uint32_t mask = static_cast<uint32_t>(static_cast<int32_t>(created));
    for (int k = 0; k < 40; ++k) {
      uint8_t plain = 0;
      size_t unit = k / 2;
      if (unit < password.size()) plain = static_cast<uint8_t>(password[unit] >> (8 * (k % 2)));
      page[0x42 + k] = plain ^ static_cast<uint8_t>(mask >> (8 * (k % 4)));
    }
  }
  UnmaskHeader(page.data(), page.size(), jet3);  // the mask is its own inverse
  return page;
}

Header Parse(const std::vector<uint8_t>& page) {
  return ParseHeader(ByteView(page.data(), page.size()), "test.mdb");
}

int32_t RefusalNumber(const Header& h, const std::string& supplied) {
  try {
    CheckAccess(h, supplied);
  } catch (const JetError& e) {
    return e.Number();
  }
  return 0;
}

TEST(Header, TellsTheFormatsApartAndReadsTheMaskedFields) {
  Header jet3 = Parse(MakeHeader(0, u""));
  EXPECT_EQ(jet3.format, Format::kJet3);
  EXPECT_EQ(jet3.page_size, 2048u);
  EXPECT_EQ(jet3.code_page, 1252);
  Header jet4 = Parse(MakeHeader(1, u"", 41000.25));
  EXPECT_EQ(jet4.format, Format::kJet4);
  EXPECT_EQ(jet4.page_size, 4096u);
  EXPECT_DOUBLE_EQ(jet4.creation_date, 41000.25);
  for (uint8_t v = 2; v <= 6; ++v) EXPECT_EQ(Parse(MakeHeader(v, u"")).format, Format::kAce);
}

TEST(Header, ChecksTheDatabasePasswordAsAccessDoes) {
  Header jet4 = Parse(MakeHeader(1, u"s\u00E9cret"));
  EXPECT_EQ(jet4.password, "s\u00E9cret");
  EXPECT_EQ(RefusalNumber(jet4, "s\u00E9cret"), 0);
  EXPECT_EQ(RefusalNumber(jet4, ""), error_numbers::kBadPassword);
  EXPECT_EQ(RefusalNumber(jet4, "S\u00C9CRET"), error_numbers::kBadPassword);

  Header jet3 = Parse(MakeHeader(0, u"abc"));
  EXPECT_EQ(jet3.password, "abc");
  EXPECT_EQ(RefusalNumber(jet3, "abc"), 0);
  EXPECT_EQ(RefusalNumber(jet3, "abd"), error_numbers::kBadPassword);

  // Without a password any supplied one is accepted.
  EXPECT_EQ(RefusalNumber(Parse(MakeHeader(1, u"")), "whatever"), 0);
}

TEST(Header, EncryptedAccdbWithoutEncryptionInfoIsDamaged) {
  Header ace = Parse(MakeHeader(3, u"", 40000, 0x1234));
  EXPECT_TRUE(ace.IsOfficeEncrypted());
  EXPECT_FALSE(NeedsPageDecoding(ace));
  try {
    CheckAccess(ace, "password");
    FAIL() << "an encrypted .accdb without its encryption header was accepted";
  } catch (const JetError& e) {
    EXPECT_EQ(e.Number(), error_numbers::kCorrupt);
    EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
  }
  // A Jet file with a page key is encoded, not encrypted: it is read.
  Header encoded = Parse(MakeHeader(1, u"", 40000, 0x1234));
  EXPECT_TRUE(NeedsPageDecoding(encoded));
  EXPECT_EQ(RefusalNumber(encoded, ""), 0);
}

TEST(Header, RefusesWhatIsNotAnAccessDatabase) {
  std::vector<uint8_t> page = MakeHeader(1, u"");
  std::vector<uint8_t> text(4096, 'x');
  EXPECT_THROW(Parse(text), JetError);
  std::vector<uint8_t> short_page(page.begin(), page.begin() + 0x80);
  EXPECT_THROW(Parse(short_page), JetError);
  page[0x14] = 9;
  try {
    Parse(page);
    FAIL();
  } catch (const JetError& e) {
    EXPECT_EQ(e.Number(), error_numbers::kNotSupported);
  }
}

TEST(Header, JetPageEncodingIsKeyedByPageAndLeavesPageZeroAlone) {
  std::vector<uint8_t> page(4096);
  for (size_t k = 0; k < page.size(); ++k) page[k] = static_cast<uint8_t>(k * 7);
  std::vector<uint8_t> a = page, b = page, zero = page;
  DecodeJetPage(0xA1B2C3D4, 5, a.data(), a.size());
  DecodeJetPage(0xA1B2C3D4, 6, b.data(), b.size());
  DecodeJetPage(0xA1B2C3D4, 0, zero.data(), zero.size());
  EXPECT_NE(a, page);
  EXPECT_NE(a, b);
  EXPECT_EQ(zero, page);
  DecodeJetPage(0xA1B2C3D4, 5, a.data(), a.size());
  EXPECT_EQ(a, page);
}

}  // namespace
}  // namespace jet
