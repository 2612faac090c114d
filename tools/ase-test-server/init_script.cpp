#include "init_script.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "common/ascii.h"
#include "server_message.h"
#include "statement_executor.h"

namespace vq::ase_server {

std::vector<std::string> SplitScript(const std::string& script) {
  std::vector<std::string> batches;
  std::istringstream in(script);
  std::string line, current;
  while (std::getline(in, line)) {
    std::string word;
    for (char c : line) {
      if (!std::isspace(static_cast<unsigned char>(c))) {
        word += ascii::Lower(c);
      }
    }
    if (word == "go") {
      if (current.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
      current.clear();
    } else {
      current += line + "\n";
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
  return batches;
}

std::string RunInitScript(const ServerConfig& config) {
  if (config.init_script.empty()) return {};
  std::ifstream in(config.init_script, std::ios::binary);
  if (!in) return "cannot read " + config.init_script;
  std::stringstream text;
  text << in.rdbuf();
  try {
    StatementExecutor executor(config, 1, "sa");
    executor.UseDatabase(config.DefaultDatabase());
    if (!executor.TableNames().empty()) return {};
    for (const std::string& batch : SplitScript(text.str())) {
      try {
        executor.RunScriptBatch(batch);
      } catch (const ServerError& e) {
        return config.init_script + ": " + e.message().text + "in batch: " + batch;
      }
    }
  } catch (const ServerError& e) {
    return e.message().text;
  }
  return {};
}

}  // namespace vq::ase_server
