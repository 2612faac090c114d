// The "ASEOLEDB" provider: DatabaseSession and RecordSet over the ASE client.
//
// The connection string is the one the connection window builds:
//   Provider=ASEOLEDB;Data Source=host:port;User Id=u;Password=p;;Catalog=db
// and may also name "Connect Timeout" and "Command Timeout" in seconds (10 and
// 120 when absent): how long an open may take, and how long the server may
// stay silent during a statement.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "dataaccess/backend.h"

namespace vq {

// The provider name the ASE connection string carries.
inline constexpr const char* kAseProviderName = "ASEOLEDB";

// The SQL the tables catalogue is read with: user tables, system tables and views.
inline constexpr const char* kAseTablesCatalogueSql =
    "select name, type from sysobjects where type in ('U','S','V') order by name";

// What an ASE connection string asks for.
struct AseConnectionRequest {
  std::string data_source;  // "host:port"
  std::string user;
  std::string password;
  std::string catalog;
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(10)};
  std::chrono::milliseconds command_timeout{std::chrono::seconds(120)};
};

// Reads an ASE connection string. Keys are matched in any case; a password may
// hold ";". Throws DatabaseError for a timeout that is not a whole number of
// seconds from 1 to 3600.
AseConnectionRequest ParseAseConnectionString(const std::string& connection_string);

// The catalogue's TABLE_TYPE for a sysobjects type code ("U", "S" or "V", padded
// or not): "TABLE", "SYSTEM TABLE", "VIEW"; other codes give nothing.
std::optional<std::string> AseTableType(const std::string& sysobjects_type);

// "select count(*) from T" when `sql` reads plain columns of one table
// ("SELECT * FROM [T]", "select a, [b c] from dbo.T"): the count then matches
// the query's rows, so the rows can stream. Nothing for anything else.
std::optional<std::string> AseCountQueryFor(const std::string& sql);

// The server version in @@version ("Adaptive Server Enterprise/15.7/EBF ...")
// as major * 100 + minor * 10 (1570); 0 when the text does not say.
int ParseAseVersion(std::string_view version);

// Opens an ASE connection for the registry. Throws DatabaseError.
std::unique_ptr<Connection> OpenAseConnection(const std::string& connection_string,
                                              const SessionOptions& options);

// Puts "ASEOLEDB" into `registry`.
void RegisterAseProvider(ProviderRegistry& registry);

}  // namespace vq
