#include "ui/sample_copy.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "ui/window_helpers.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

// The user's data folder as the XDG base directories define it; empty when
// neither XDG_DATA_HOME (absolute) nor HOME is set.
fs::path DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg);
  const char* home = std::getenv("HOME");
  if (home && *home) return fs::path(home) / ".local" / "share";
  return {};
}

[[noreturn]] void CannotCopy(const fs::path& copy, const std::error_code& ec) {
  throw std::runtime_error("The sample database could not be copied to " + copy.string() + ": " +
                           ec.message() + ". Check that this folder can be written to.");
}

}  // namespace

std::string UserSampleDatabase(const std::string& program_folder) {
  const std::string original = InProgramFolder(program_folder, {"Samples", "sample.mdb"});
  const fs::path data_home = DataHome();
  if (data_home.empty()) return original;
  const fs::path copy = data_home / "vellquist" / "sample.mdb";
  std::error_code ec;
  if (fs::exists(copy, ec)) return copy.string();
  if (!fs::is_regular_file(original, ec)) return original;

  fs::create_directories(copy.parent_path(), ec);
  if (ec) CannotCopy(copy, ec);
  // Copied under another name and moved into place whole, so an interrupted
  // copy never passes for the user's sample.
  const fs::path part = copy.string() + ".copying";
  fs::copy_file(original, part, fs::copy_options::overwrite_existing, ec);
  if (!ec) {
    // The installed original may be read-only; the copy is the user's to write.
    fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                    ec);
  }
  if (!ec) fs::rename(part, copy, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(part, ignored);
    CannotCopy(copy, ec);
  }
  return copy.string();
}

}  // namespace vq
