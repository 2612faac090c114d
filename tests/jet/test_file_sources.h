// Where a test's database comes from: a new file made by Database::Create,
// which every clone can make, or a file Access made among the shared fixtures
// (../shared), which a clone may not have; those run as extra cases where
// they are at hand.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"
#include "scratch_files.h"

namespace jet::testing {

inline const std::string kSharedFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

struct FileSource {
  NewFormat format = NewFormat::kAccess2003;
  const char* fixture = nullptr;  // when set, a copy of this shared fixture instead

  bool AtHand() const { return !fixture || Exists(kSharedFixtures + fixture); }

  std::string Extension() const {
    if (fixture) {
      const std::string name = fixture;
      return name.substr(name.rfind('.'));
    }
    return format == NewFormat::kAccess2007 ? ".accdb" : ".mdb";
  }

  // For test names and traces: "new Access 2003 file" or the fixture's path.
  std::string Name() const {
    if (fixture) return fixture;
    switch (format) {
      case NewFormat::kAccess2000:
        return "new Access 2000 file";
      case NewFormat::kAccess2003:
        return "new Access 2002-2003 file";
      case NewFormat::kAccess2007:
        return "new Access 2007 file";
      case NewFormat::kAccess97:
        return "new Access 97 file";
    }
    return "new file";
  }

  // Makes the file as `dir`/`stem` plus its extension; returns its path.
  std::string MakeIn(const ScratchDir& dir, const std::string& stem,
                     const std::string& password = "") const {
    const std::string path = dir / (stem + Extension());
    if (fixture) {
      CopyFile(kSharedFixtures + fixture, path);
    } else {
      Database::Create(path, format, password);
    }
    return path;
  }
};

// The sources of `all` that are at hand: every new file, and the shared
// fixtures where they are.
inline std::vector<FileSource> AtHand(const std::vector<FileSource>& all) {
  std::vector<FileSource> here;
  for (const FileSource& s : all)
    if (s.AtHand()) here.push_back(s);
  return here;
}

}  // namespace jet::testing
