#include "ase/ase_address.h"

#include <cctype>

#include "ase/ase_error.h"

namespace vq::ase {
namespace {

[[noreturn]] void Refuse(std::string_view text, const std::string& why) {
  throw AseError(ErrorKind::kConnect, 0,
                 "invalid server address \"" + std::string(text) + "\": " + why);
}

bool HostCharOk(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  // Letters, digits, and what DNS names and IPv4/IPv6 literals use. Anything
  // else (blanks, quotes, control characters) cannot name a host.
  return std::isalnum(u) || c == '.' || c == '-' || c == '_' || c == ':' || c == '%' || u >= 0x80;
}

}  // namespace

ServerAddress ParseServerAddress(std::string_view text) {
  ServerAddress out;
  std::string_view host = text;
  std::string_view port;
  bool bracketed = false;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) Refuse(text, "unclosed '['");
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') Refuse(text, "unexpected text after ']'");
      port = rest.substr(1);
    }
    bracketed = true;
  } else {
    size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
    }
  }
  if (host.empty()) Refuse(text, "no server name");
  for (char c : host) {
    if (!HostCharOk(c) || (c == ':' && !bracketed)) {
      Refuse(text, "the server name holds a character no host name can hold");
    }
  }
  if (!port.empty()) {
    if (port.size() > 5) Refuse(text, "the port must be a number from 1 to 65535");
    unsigned value = 0;
    for (char c : port) {
      if (!std::isdigit(static_cast<unsigned char>(c))) {
        Refuse(text, "the port must be a number from 1 to 65535");
      }
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) Refuse(text, "the port must be a number from 1 to 65535");
    out.port = static_cast<uint16_t>(value);
  }
  out.host = std::string(host);
  return out;
}

std::string ServerName(const ServerAddress& address) {
  bool v6 = address.host.find(':') != std::string::npos;
  std::string host = v6 ? "[" + address.host + "]" : address.host;
  return host + ":" + std::to_string(address.port);
}

}  // namespace vq::ase
