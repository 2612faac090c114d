// Reading "Key=Value;Key=Value" connection strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vq {

// The keys and values of one connection string, in the order written.
// Keys compare case-insensitively; values are kept exactly as written.
class ConnectionString {
 public:
  // Splits on ";". Empty segments (the ";;" of the ASE string) are skipped. A
  // segment that does not start a known key is part of the previous value, so a
  // password holding ";" or ";;" survives: when `known_keys` is empty every
  // segment with an "=" starts a key. Separators at the very end of a value
  // cannot be told from the string's own and are dropped.
  static ConnectionString Parse(std::string_view text,
                                const std::vector<std::string>& known_keys = {});

  // The value of `key` (any case), or nothing when the key is absent. The last
  // occurrence wins, as with ADO.
  std::optional<std::string> Get(std::string_view key) const;

  // The value of `key`, or `fallback` when absent.
  std::string GetOr(std::string_view key, std::string fallback) const;

  const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

// ASCII case-insensitive equality, as used for keys and provider names.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace vq
