#include "ase/ase_error.h"

namespace vq::ase {

std::string FormatServerMessage(int number, int severity, int state, const std::string& text) {
  std::string out = "Msg " + std::to_string(number) + ", Level " + std::to_string(severity) +
                    ", State " + std::to_string(state) + ": ";
  // Servers end some messages with a line break; it helps nobody in a dialog.
  std::string body = text;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  return out + body;
}

}  // namespace vq::ase
