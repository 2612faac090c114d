// The seven connection settings and the two connection strings built from them.
#pragma once

#include <array>
#include <string>

namespace vq {

// The seven connection fields, in the connection window's order.
enum class Setting {
  kAccessFile = 0,
  kAccessPassword,
  kAseServer,
  kAsePort,
  kAseUser,
  kAsePassword,
  kAseDatabase,
};
inline constexpr int kSettingCount = 7;

// Where the current connection texts are read from: the connection window's
// fields in the program, a plain holder elsewhere. Read afresh every time a
// string is built, so an edit takes effect at the next connection.
class ConnectionSettings {
 public:
  virtual ~ConnectionSettings() = default;
  virtual std::string Get(Setting which) const = 0;
};

// Connection settings held in memory (the command line, tests).
class FixedConnectionSettings : public ConnectionSettings {
 public:
  std::string Get(Setting which) const override { return values[static_cast<int>(which)]; }
  void Set(Setting which, std::string value) { values[static_cast<int>(which)] = std::move(value); }
  std::array<std::string, kSettingCount> values;
};

// The settings-store key that remembers each field ("AccessMDBFile", ...).
const char* SettingKey(Setting which);
// The value a field takes when its key is absent ("5000" for the port, else "").
const char* SettingDefault(Setting which);

// The Access connection string. An empty `path` means "the window's file and
// password" and `password` is then ignored. The provider follows the path's
// last five characters: "accdb" (any case) picks ACE 12.0, anything else Jet 4.0.
std::string BuildAccessConnectionString(const ConnectionSettings& settings,
                                        const std::string& path, const std::string& password);

// The ASE connection string from fields 3 to 7, the doubled ";" before
// "Catalog=" included.
std::string BuildSybaseConnectionString(const ConnectionSettings& settings);

}  // namespace vq
