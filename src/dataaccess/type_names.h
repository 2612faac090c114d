// Names of ADO data type codes; the transfers pick column types from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vq {

// The ADO name of `code` ("adInteger" for 3), or nothing for a code without one.
std::optional<std::string> DataTypeName(int16_t code);

}  // namespace vq
