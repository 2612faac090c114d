// The Sybase ASE side of the tables catalogue and the silent connection check.
#pragma once

#include "dataaccess/command_env.h"
#include "dataaccess/interaction.h"

namespace vq {

// True when a connection opens with the current ASE connection string, within
// the connect deadline; every failure is false, without a message.
bool SybaseConnects(const CommandEnv& env);

// Fills `list` with the ASE user tables (system tables left out by their
// catalogue type), yielding once per user-table row. Failures pass to the
// caller; the list keeps its entries when the connection fails.
void FillSybaseTableList(const CommandEnv& env, TableList& list);

}  // namespace vq
