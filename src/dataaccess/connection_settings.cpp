#include "dataaccess/connection_settings.h"

#include <algorithm>
#include <cctype>

#include "common/ascii.h"

namespace vq {

const char* SettingKey(Setting which) {
  static constexpr const char* kKeys[kSettingCount] = {
      "AccessMDBFile", "AccessPassword", "ASEServer",  "ASEPort",
      "ASEUser",       "ASEPassword",    "ASEDatabase"};
  return kKeys[static_cast<int>(which)];
}

const char* SettingDefault(Setting which) {
  return which == Setting::kAsePort ? "5000" : "";
}

std::string BuildAccessConnectionString(const ConnectionSettings& settings, const std::string& path,
                                        const std::string& password) {
  std::string file = path;
  std::string secret = password;
  if (file.empty()) {
    file = settings.Get(Setting::kAccessFile);
    secret = settings.Get(Setting::kAccessPassword);
  }
  const std::string ending = ascii::Lowered(file.size() < 5 ? file : file.substr(file.size() - 5));
  if (ending == "accdb") {
    return "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + file +
           ";JET OLEDB:Database Password=" + secret;
  }
  return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + file +
         ";JET OLEDB:Database Password=" + secret;
}

std::string BuildSybaseConnectionString(const ConnectionSettings& settings) {
  return "Provider=ASEOLEDB;Data Source=" + settings.Get(Setting::kAseServer) + ":" +
         settings.Get(Setting::kAsePort) + ";User Id=" + settings.Get(Setting::kAseUser) +
         ";Password=" + settings.Get(Setting::kAsePassword) + ";" +
         ";Catalog=" + settings.Get(Setting::kAseDatabase);
}

}  // namespace vq
