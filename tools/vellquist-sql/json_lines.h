// JSON text for the result lines vellquist-sql prints: one header object per
// result and one array per row, each on a line of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/backend.h"
#include "dataaccess/value.h"

namespace vq::tools {

// Appends `text` to `out` as a JSON string literal, quotes included. Control
// characters become \u00XX, '"' and '\' are escaped, valid UTF-8 passes
// through unchanged, and bytes that are not valid UTF-8 become U+FFFD so the
// line stays valid JSON whatever the database held.
void AppendJsonString(std::string& out, std::string_view text);

// Appends one field value: null, true/false, a JSON integer for the integer
// kind, and the value's default text form as a JSON string for every other kind.
void AppendJsonValue(std::string& out, const Value& value);

// {"columns":[{"name":"ID","type":3},...],"count":N}, without a line break.
std::string JsonHeaderLine(const std::vector<FieldInfo>& columns, int64_t count);

// [v1,v2,...] for one row, without a line break.
std::string JsonRowLine(const std::vector<Value>& row);

}  // namespace vq::tools
