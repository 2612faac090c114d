// The Access provider: DatabaseSession and RecordSet over the engine in
// src/jet, for the "Microsoft.Jet.OLEDB.4.0" and "Microsoft.ACE.OLEDB.12.0"
// connection strings.
//
// It reads "Data Source" (the file) and "Jet OLEDB:Database Password" from
// the connection string, gives the tables catalogue as the Jet provider does
// (TABLE for user tables, SYSTEM TABLE and ACCESS TABLE for the MSys tables,
// LINK for linked tables, VIEW for stored select queries), and runs
// "SELECT * FROM `name`" (or [name]) as a stream of rows. Execute carries out
// the engine's writing statements; a save that fails or a damaged file is a
// DatabaseNotWritable, which counts the statements the failed save lost.
#pragma once

#include <memory>
#include <string>

#include "dataaccess/backend.h"

namespace vq {

// Opens the Access database a connection string names. Throws DatabaseError.
std::unique_ptr<Connection> OpenAccessConnection(const std::string& connection_string,
                                                 const SessionOptions& options);

// Registers the provider under both Access provider names.
void RegisterAccessProvider(ProviderRegistry& registry);

}  // namespace vq
