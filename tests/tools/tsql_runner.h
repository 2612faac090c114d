// Runs FreeTDS's tsql against a server as an independent client: the SQL goes
// in on stdin with "go" lines, and everything tsql prints comes back as text.
#pragma once

#include <string>

namespace vq::testing {

// True when tsql can be run here.
bool TsqlAvailable();

// Runs `TDSVER=5.0 tsql -H 127.0.0.1 -p PORT -U USER -P PASSWORD [-D DATABASE]` with
// `script` on stdin; returns stdout and stderr together.
std::string RunTsql(int port, const std::string& user, const std::string& password,
                    const std::string& script, const std::string& database = "");

}  // namespace vq::testing
