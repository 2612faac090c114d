// Fills a new database from an SQL script, so the server can start with sample
// data. The script is split into batches at lines that hold only "go", as isql
// and tsql do.
#pragma once

#include <string>
#include <vector>

#include "server_config.h"

namespace vq::ase_server {

// Splits a script into its batches at "go" lines (any case, blanks around).
std::vector<std::string> SplitScript(const std::string& script);

// Runs the configured script in the default database unless that database
// already has tables. Returns an empty string, or what went wrong.
std::string RunInitScript(const ServerConfig& config);

}  // namespace vq::ase_server
