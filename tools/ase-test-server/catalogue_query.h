// The tables catalogue: sysobjects as a query sees it. User tables are type
// "U ", the usual system tables "S " (type is char(2), so blank-padded as in ASE).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packet_channel.h"
#include "sql_statement.h"

namespace vq::ase_server {

// True for the names of the system tables the catalogue lists.
bool IsSystemTableName(const std::string& name);

// Answers a SELECT ... FROM sysobjects (columns name, id, uid, type; WHERE and
// ORDER BY on them; count(*)).
void AnswerSysobjects(const SelectStatement& s, const std::vector<std::string>& user_tables,
                      std::uint16_t more, PacketChannel& out);

}  // namespace vq::ase_server
