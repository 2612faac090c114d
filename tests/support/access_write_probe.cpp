#include "support/access_write_probe.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "dataaccess/error.h"
#include "dataaccess/session.h"

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

}  // namespace vq::testing
