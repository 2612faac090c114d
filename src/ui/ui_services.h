// What the windows need from their surroundings, gathered so that tests can
// hand the windows scripted boxes, a chosen program folder and a quiet start.
#pragma once

#include <functional>
#include <string>

#include "dataaccess/connection_settings.h"
#include "dataaccess/interaction.h"
#include "ui/qt_interaction.h"

class QIcon;

namespace vq {

// Borrowed services of both windows; everything pointed to outlives them.
struct UiServices {
  // The connection fields the commands build their strings from: the
  // connection window, which hands itself to the tables window.
  const ConnectionSettings* settings = nullptr;
  // The folder that holds the program and its optional files.
  std::string program_folder;
  UserDialogs* dialogs = nullptr;
  FileChooser* chooser = nullptr;
  Yielder* yielder = nullptr;
  // Run once at start-up: opens the home page now and then.
  std::function<void()> visit_home_page;
  // Ends the program when a window is closed.
  std::function<void()> end_program;
};

// The application icon, drawn for this program.
QIcon ApplicationIcon();

}  // namespace vq
