#include "tools/tsql_runner.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace vq::testing {
namespace {

// Single-quotes a word for sh.
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

}  // namespace

bool TsqlAvailable() {
  return std::system("command -v tsql > /dev/null 2>&1") == 0;
}

std::string RunTsql(int port, const std::string& user, const std::string& password,
                    const std::string& script, const std::string& database) {
  std::random_device random;
  const auto path =
      std::filesystem::temp_directory_path() / ("vq-tsql-" + std::to_string(random()) + ".sql");
  {
    std::ofstream out(path, std::ios::binary);
    out << script;
    if (script.empty() || script.back() != '\n') out << '\n';
    out << "exit\n";
  }
  std::string command = "TDSVER=5.0 timeout 60 tsql -H 127.0.0.1 -p " + std::to_string(port) +
                        " -U " + Quote(user) + " -P " + Quote(password);
  if (!database.empty()) command += " -D " + Quote(database);
  command += " < " + Quote(path.string()) + " 2>&1";
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
  }
  std::filesystem::remove(path);
  return output;
}

}  // namespace vq::testing
