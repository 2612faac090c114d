#include "transfer/sent_rows.h"

#include <algorithm>
#include <vector>

namespace vq {

std::string GroupedNumber(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (size_t k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return n < 0 ? "-" + out : out;
}

void SentRows::Add(int64_t row) {
  if (!runs_.empty() && runs_.back().last + 1 == row) {
    runs_.back().last = row;
    return;
  }
  if (runs_.size() == kMaxRuns) runs_.pop_front();
  runs_.push_back({row, row});
}

std::string SentRows::Last(int64_t count) const {
  if (count <= 0) return "";
  std::vector<Run> lost;  // newest first
  int64_t left = count;
  for (auto it = runs_.rbegin(); it != runs_.rend() && left > 0; ++it) {
    const int64_t take = std::min(left, it->last - it->first + 1);
    lost.push_back({it->last - take + 1, it->last});
    left -= take;
  }
  std::reverse(lost.begin(), lost.end());
  std::string text;
  const bool one = lost.size() == 1 && lost[0].first == lost[0].last;
  if (!lost.empty()) text = one ? "row " : "rows ";
  for (size_t k = 0; k < lost.size(); ++k) {
    if (k > 0) text += k + 1 == lost.size() ? " and " : ", ";
    text += GroupedNumber(lost[k].first + 1);
    if (lost[k].last != lost[k].first) text += " to " + GroupedNumber(lost[k].last + 1);
  }
  if (left > 0) {
    if (!text.empty()) text += " and ";
    text += GroupedNumber(left) + (left == 1 ? " earlier change" : " earlier changes");
  }
  return text;
}

}  // namespace vq
