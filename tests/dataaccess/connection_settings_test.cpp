#include "dataaccess/connection_settings.h"

#include <gtest/gtest.h>

namespace vq {
namespace {

FixedConnectionSettings Window(std::string file, std::string password) {
  FixedConnectionSettings s;
  s.Set(Setting::kAccessFile, std::move(file));
  s.Set(Setting::kAccessPassword, std::move(password));
  return s;
}

std::string Ace(const std::string& path, const std::string& password) {
  return "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path +
         ";JET OLEDB:Database Password=" + password;
}
std::string Jet(const std::string& path, const std::string& password) {
  return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
         ";JET OLEDB:Database Password=" + password;
}

TEST(AccessConnectionString, ProviderFollowsTheLastFiveCharactersInAnyCase) {
  FixedConnectionSettings none;
  EXPECT_EQ(
      BuildAccessConnectionString(none, R"(C:\data\Sales.ACCDB)", "pw"),
      R"(Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\data\Sales.ACCDB;JET OLEDB:Database Password=pw)");
  EXPECT_EQ(BuildAccessConnectionString(none, R"(C:\data\oldaccdb)", "pw"),
            Ace(R"(C:\data\oldaccdb)", "pw"));
  EXPECT_EQ(BuildAccessConnectionString(none, "/srv/x.AcCdB", ""), Ace("/srv/x.AcCdB", ""));
  EXPECT_EQ(BuildAccessConnectionString(none, "accdb", ""), Ace("accdb", ""));
  // The file's content is never looked at: only the name decides.
  EXPECT_EQ(
      BuildAccessConnectionString(none, R"(C:\data\Sales.mdb)", "pw"),
      R"(PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=C:\data\Sales.mdb;JET OLEDB:Database Password=pw)");
  EXPECT_EQ(BuildAccessConnectionString(none, R"(C:\data\Sales.accdb )", "pw"),
            Jet(R"(C:\data\Sales.accdb )", "pw"));
  EXPECT_EQ(BuildAccessConnectionString(none, R"(C:\data\Sales.accd)", "pw"),
            Jet(R"(C:\data\Sales.accd)", "pw"));
  EXPECT_EQ(BuildAccessConnectionString(none, "ccdb", ""), Jet("ccdb", ""));
  EXPECT_EQ(BuildAccessConnectionString(none, "x", ""), Jet("x", ""));
}

TEST(AccessConnectionString, EmptyPasswordLeavesThePasswordPartEmpty) {
  FixedConnectionSettings none;
  std::string s = BuildAccessConnectionString(none, "/d/a.mdb", "");
  EXPECT_TRUE(s.ends_with(";JET OLEDB:Database Password=")) << s;
}

TEST(AccessConnectionString, EmptyPathTakesTheWindowsFileAndPassword) {
  auto window = Window("/home/u/Shop.accdb", "winpw");
  EXPECT_EQ(BuildAccessConnectionString(window, "", "ignored"), Ace("/home/u/Shop.accdb", "winpw"));
  EXPECT_EQ(BuildAccessConnectionString(window, "", ""), Ace("/home/u/Shop.accdb", "winpw"));
  // An empty window password wins over the argument too.
  auto no_password = Window("/home/u/Old.mdb", "");
  EXPECT_EQ(BuildAccessConnectionString(no_password, "", "given"), Jet("/home/u/Old.mdb", ""));
  // Both empty: nothing invented.
  EXPECT_EQ(BuildAccessConnectionString(Window("", ""), "", "x"), Jet("", ""));
  // A given path uses the given password, not the window's.
  EXPECT_EQ(BuildAccessConnectionString(window, "/o.mdb", "mine"), Jet("/o.mdb", "mine"));
}

TEST(AccessConnectionString, FieldsAreUsedVerbatim) {
  auto window = Window(" /a b;c=d.ACCDB", " p;w=\"' ");
  EXPECT_EQ(BuildAccessConnectionString(window, "", ""), Ace(" /a b;c=d.ACCDB", " p;w=\"' "));
}

TEST(SybaseConnectionString, FieldsInOrderWithTheDoubledSeparator) {
  FixedConnectionSettings s;
  s.Set(Setting::kAseServer, "ase1");
  s.Set(Setting::kAsePort, "5000");
  s.Set(Setting::kAseUser, "sa");
  s.Set(Setting::kAsePassword, "");
  s.Set(Setting::kAseDatabase, "sales");
  EXPECT_EQ(BuildSybaseConnectionString(s),
            "Provider=ASEOLEDB;Data Source=ase1:5000;User Id=sa;Password=;;Catalog=sales");
  s.Set(Setting::kAsePassword, "se;cr=et ");
  s.Set(Setting::kAseUser, " Ann ");
  EXPECT_EQ(
      BuildSybaseConnectionString(s),
      "Provider=ASEOLEDB;Data Source=ase1:5000;User Id= Ann ;Password=se;cr=et ;;Catalog=sales");
  // The Access fields play no part.
  s.Set(Setting::kAccessFile, "/x.mdb");
  s.Set(Setting::kAccessPassword, "apw");
  EXPECT_EQ(BuildSybaseConnectionString(s).find("apw"), std::string::npos);
}

TEST(SybaseConnectionString, EmptyFieldsLeaveEmptyPlaces) {
  FixedConnectionSettings empty;
  EXPECT_EQ(BuildSybaseConnectionString(empty),
            "Provider=ASEOLEDB;Data Source=:;User Id=;Password=;;Catalog=");
}

TEST(SettingKeys, NamesAndDefaultsOfTheSevenFields) {
  const char* keys[] = {"AccessMDBFile", "AccessPassword", "ASEServer",  "ASEPort",
                        "ASEUser",       "ASEPassword",    "ASEDatabase"};
  for (int i = 0; i < kSettingCount; ++i) {
    auto which = static_cast<Setting>(i);
    EXPECT_STREQ(SettingKey(which), keys[i]);
    EXPECT_STREQ(SettingDefault(which), which == Setting::kAsePort ? "5000" : "");
  }
}

}  // namespace
}  // namespace vq
