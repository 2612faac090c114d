#include "login_record.h"

#include <algorithm>

namespace vq::ase_server {
namespace {

std::string FixedField(const Bytes& p, std::size_t offset, std::size_t size) {
  const std::size_t len = std::min<std::size_t>(p[offset + size], size);
  return std::string(p.begin() + static_cast<std::ptrdiff_t>(offset),
                     p.begin() + static_cast<std::ptrdiff_t>(offset + len));
}

}  // namespace

std::optional<LoginRecord> ParseLoginRecord(const Bytes& p) {
  constexpr std::size_t kCapabilityAt = 568;
  if (p.size() < kCapabilityAt) return std::nullopt;
  LoginRecord login;
  login.user = FixedField(p, 31, 30);
  login.password = FixedField(p, 62, 30);
  login.application = FixedField(p, 140, 30);
  const std::string size_text = FixedField(p, 557, 6);
  if (!size_text.empty() && size_text.find_first_not_of("0123456789") == std::string::npos) {
    login.packet_size = static_cast<std::size_t>(std::stoul(size_text));
  }
  if (p.size() >= kCapabilityAt + 3 && p[kCapabilityAt] == 0xE2) {
    const std::size_t len = p[kCapabilityAt + 1] | (std::size_t{p[kCapabilityAt + 2]} << 8);
    if (kCapabilityAt + 3 + len <= p.size()) {
      login.capability.assign(p.begin() + kCapabilityAt + 3,
                              p.begin() + static_cast<std::ptrdiff_t>(kCapabilityAt + 3 + len));
    }
  }
  return login;
}

}  // namespace vq::ase_server
