#include "server_config.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vq::ase_server {
namespace {

constexpr const char* kUsage =
    "usage: ase-test-server [--port PORT] [--listen ADDRESS] --data DIR "
    "--login USER:PASSWORD... --database NAME... [--init FILE.sql] [--charset utf8|iso_1] "
    "[--page-size 2048|4096|8192|16384] [--max-pages N] [--reply-delay-us N] "
    "[--ase-version MAJOR.MINOR] [--verbose] [--silent]";

// A whole number from 0 to `limit`; throws with the option's name otherwise.
std::int64_t Count(const std::string& option, const std::string& v, std::int64_t limit) {
  if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos ||
      std::stoll(v) > limit) {
    throw std::invalid_argument(option + " wants a whole number up to " + std::to_string(limit) +
                                ": " + v);
  }
  return std::stoll(v);
}

bool ValidDatabaseName(const std::string& name) {
  if (name.empty() || name.size() > 30) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

}  // namespace

bool ServerConfig::HasDatabase(const std::string& name) const {
  return name == "master" || std::find(databases.begin(), databases.end(), name) != databases.end();
}

std::string ServerConfig::DefaultDatabase() const {
  return databases.empty() ? "master" : databases.front();
}

std::string ServerConfig::DatabasePath(const std::string& name) const {
  return data_dir + "/" + name + ".db";
}

bool ServerConfig::Accepts(const std::string& user, const std::string& password) const {
  return std::any_of(logins.begin(), logins.end(), [&](const auto& login) {
    return login.first == user && login.second == password;
  });
}

ServerConfig ParseCommandLine(int argc, const char* const argv[]) {
  ServerConfig config;
  bool have_data = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value\n" + kUsage);
      return argv[++i];
    };
    if (arg == "--port") {
      const std::string v = value();
      if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(v) > 65535) {
        throw std::invalid_argument("bad port: " + v);
      }
      config.port = std::stoi(v);
    } else if (arg == "--listen") {
      config.listen_address = value();
    } else if (arg == "--data") {
      config.data_dir = value();
      have_data = true;
    } else if (arg == "--login") {
      const std::string v = value();
      const auto colon = v.find(':');
      if (colon == std::string::npos || colon == 0 || colon > 30 || v.size() - colon - 1 > 30) {
        throw std::invalid_argument("--login wants USER:PASSWORD (each at most 30 bytes)");
      }
      config.logins.emplace_back(v.substr(0, colon), v.substr(colon + 1));
    } else if (arg == "--database") {
      const std::string v = value();
      if (!ValidDatabaseName(v)) {
        throw std::invalid_argument("bad database name (letters, digits, _; at most 30): " + v);
      }
      config.databases.push_back(v);
    } else if (arg == "--init") {
      config.init_script = value();
    } else if (arg == "--charset") {
      const std::string v = value();
      if (!ParseServerCharset(v, config.charset)) {
        throw std::invalid_argument("unknown character set (utf8 or iso_1): " + v);
      }
    } else if (arg == "--page-size") {
      const std::string v = value();
      if (v != "2048" && v != "4096" && v != "8192" && v != "16384") {
        throw std::invalid_argument("--page-size wants 2048, 4096, 8192 or 16384: " + v);
      }
      config.page_size = std::stoi(v);
    } else if (arg == "--max-pages") {
      config.max_pages = Count(arg, value(), 2000000000);
    } else if (arg == "--reply-delay-us") {
      config.reply_delay_us = Count(arg, value(), 60000000);
    } else if (arg == "--ase-version") {
      const std::string v = value();
      const bool ok = v.size() == 4 && std::isdigit(static_cast<unsigned char>(v[0])) &&
                      std::isdigit(static_cast<unsigned char>(v[1])) && v[2] == '.' &&
                      std::isdigit(static_cast<unsigned char>(v[3]));
      if (!ok || v < "12.5") {
        throw std::invalid_argument("--ase-version wants MAJOR.MINOR from 12.5 on: " + v);
      }
      config.version = v;
      config.version_number = std::stoi(v.substr(0, 2)) * 100 + (v[3] - '0') * 10;
    } else if (arg == "--silent") {
      config.silent = true;
    } else if (arg == "--verbose") {
      config.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      throw std::invalid_argument(kUsage);
    } else {
      throw std::invalid_argument("unknown option " + arg + "\n" + kUsage);
    }
  }
  if (!have_data) throw std::invalid_argument(std::string("--data is required\n") + kUsage);
  if (config.logins.empty()) {
    throw std::invalid_argument(std::string("at least one --login is required\n") + kUsage);
  }
  return config;
}

}  // namespace vq::ase_server
