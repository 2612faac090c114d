#include "support/access_write_probe.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "dataaccess/error.h"
#include "dataaccess/session.h"
#include "jet/database.h"

namespace vq::testing {

std::string AccessConnectionString(const std::string& path, const std::string& password) {
  const bool ace = path.size() >= 5 && path.compare(path.size() - 5, 5, "accdb") == 0;
  return std::string("Provider=") + (ace ? "Microsoft.ACE.OLEDB.12.0" : "Microsoft.Jet.OLEDB.4.0") +
         ";Data Source=" + path + ";Jet OLEDB:Database Password=" + password;
}

std::string CopyFixture(const std::string& fixture, const std::string& name) {
  std::filesystem::path copy = std::filesystem::path(::testing::TempDir()) / name;
  std::filesystem::copy_file(fixture, copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(
      copy, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
      std::filesystem::perm_options::add);
  return copy.string();
}

std::string NewAccessFile(const std::string& name) {
  const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
  std::filesystem::remove(path);
  std::filesystem::remove(path.string() + "-journal");
  const bool ace = path.extension() == ".accdb";
  jet::Database::Create(path.string(),
                        ace ? jet::NewFormat::kAccess2007 : jet::NewFormat::kAccess2003, "");
  return path.string();
}

std::string NewAccessFileWithTables(const std::string& name) {
  const std::string path = NewAccessFile(name);
  auto db = jet::Database::Open(path, "");
  db->Execute(
      "CREATE TABLE `Table1` (`A` TEXT(50), `B` TEXT(100), `C` BYTE, `D` SHORT, `E` LONG, "
      "`F` FLOAT, `G` DATETIME, `H` CURRENCY, `I` BIT)");
  db->Execute("INSERT INTO `Table1` VALUES ('a', 'b', 0, 0, 0, 0, #1981-12-12#, 0, False)");
  db->Execute(
      "INSERT INTO `Table1` VALUES ('abcdefg', 'it''s \"quoted\"', 255, -32768, 2147483647, "
      "444.555, #1974-09-21 13:45:10#, '922337203685477.5807', True)");
  db->Execute(
      "INSERT INTO `Table1` VALUES ('Größe 北岬', 'Ωμέγα; Лампа', 7, 32767, -2147483648, -1.5e-7, "
      "#1899-12-30#, -12.3456, True)");
  db->Execute("INSERT INTO `Table1` (`A`, `I`) VALUES ('nulls', False)");
  std::string columns, values;
  for (int k = 1; k <= 20; ++k) {
    columns += (k > 1 ? ", `column" : "`column") + std::to_string(k) + "` TEXT(50)";
    values += (k > 1 ? ", 'value " : "'value ") + std::to_string(k) + "'";
  }
  db->Execute("CREATE TABLE `Table2` (" + columns + ")");
  db->Execute("INSERT INTO `Table2` VALUES (" + values + ")");
  db->Execute("CREATE TABLE `Table3` (`a` LONG, `b` MEMO)");
  std::string memo;
  for (int k = 0; k < 400; ++k) memo += "line " + std::to_string(k) + " of a long memo; ";
  db->Execute("INSERT INTO `Table3` VALUES (1, '" + memo + "')");
  db->Execute("INSERT INTO `Table3` VALUES (2, '')");
  db->Execute("INSERT INTO `Table3` VALUES (3, NULL)");
  db->Execute("CREATE TABLE `Table4` (`name` TEXT(50), `data` OLEOBJECT, `code` BINARY(8))");
  std::string hex = "0x";
  for (int k = 0; k < 3000; ++k) hex += "0123456789ABCDEF"[k % 16];
  db->Execute("INSERT INTO `Table4` VALUES ('long', " + hex + ", 0x0102030405060708)");
  db->Execute("INSERT INTO `Table4` VALUES ('short', 0x00FF, 0x00)");
  db->Execute("INSERT INTO `Table4` VALUES ('none', NULL, NULL)");
  db->Close();
  return path;
}

}  // namespace vq::testing
