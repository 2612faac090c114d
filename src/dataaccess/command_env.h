// What a catalogue operation or a command needs from its surroundings.
#pragma once

#include "dataaccess/connection_settings.h"
#include "dataaccess/interaction.h"

namespace vq {

// The connection fields to build strings from, the boxes to ask and tell the
// user with, and the yield to the message loop. All three outlive the call.
struct CommandEnv {
  const ConnectionSettings& settings;
  UserDialogs& dialogs;
  Yielder& yielder;
};

}  // namespace vq
