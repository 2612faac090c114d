// The error number a call fails with, for tests that check refusals by number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "jet/database.h"
#include "jet/error.h"

namespace jet::testing {

// The number of the JetError `f` throws (its text into `what`), or 0 when it
// succeeds.
inline int32_t ErrorOf(const std::function<void()>& f, std::string* what = nullptr) {
  try {
    f();
  } catch (const JetError& e) {
    if (what) *what = e.what();
    return e.Number();
  }
  return 0;
}

// The number of the JetError running `sql` on `db` throws (its text into
// `what`), or 0 when the statement succeeds.
inline int32_t ErrorOf(Database& db, const std::string& sql, std::string* what = nullptr) {
  return ErrorOf([&] { db.Execute(sql); }, what);
}

}  // namespace jet::testing
