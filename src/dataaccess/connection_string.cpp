#include "dataaccess/connection_string.h"

#include <algorithm>
#include <cctype>

#include "common/ascii.h"

namespace vq {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return ascii::EqualsIgnoreCase(a, b);
}

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}
}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text,
                                         const std::vector<std::string>& known_keys) {
  ConnectionString cs;
  size_t pos = 0;
  int skipped = 0;  // empty segments since the last non-empty one
  while (pos <= text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view segment = text.substr(pos, end - pos);
    pos = end + 1;
    if (segment.empty()) {
      ++skipped;
      continue;
    }

    size_t eq = segment.find('=');
    bool starts_key = eq != std::string_view::npos;
    std::string_view key = starts_key ? Trim(segment.substr(0, eq)) : std::string_view{};
    if (starts_key && !known_keys.empty()) {
      starts_key = std::any_of(known_keys.begin(), known_keys.end(),
                               [&](const std::string& k) { return EqualsIgnoreCase(k, key); });
    }
    if (starts_key) {
      cs.entries_.emplace_back(std::string(key), std::string(segment.substr(eq + 1)));
    } else if (!cs.entries_.empty()) {
      // A value that goes on past empty segments held ";;" itself: keep them.
      cs.entries_.back().second.append(skipped + 1, ';').append(segment);
    }
    skipped = 0;
  }
  return cs;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (EqualsIgnoreCase(it->first, key)) return it->second;
  }
  return std::nullopt;
}

std::string ConnectionString::GetOr(std::string_view key, std::string fallback) const {
  auto v = Get(key);
  return v ? *v : std::move(fallback);
}

}  // namespace vq
