// Pieces shared by the queries the executor answers: result columns, value
// comparison with ASE's blank rules, WHERE terms checked against a column list,
// and a whole small result sent at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packet_channel.h"
#include "row_encoding.h"
#include "sql_statement.h"
#include "table_store.h"

namespace vq::ase_server {

// A result column of a type with no table behind it.
ResultColumn Column(std::string name, TypeKind kind, bool nullable, int length = 0);

// Orders stored values; blanks at the end of texts do not count, as in ASE.
int CompareCells(const CellValue& a, const CellValue& b);

// True when a value meets the condition (NULL meets only IS NULL).
bool Holds(const StoredCondition& c, const CellValue& v);

// Converts WHERE terms against a column list (207 for an unknown column).
std::vector<StoredCondition> ConvertConditions(const std::vector<Condition>& where,
                                               const std::vector<ColumnDefinition>& columns,
                                               const std::string& table);

// Sends ROWFMT, the rows and DONE(count) for a result held in memory.
void SendRows(PacketChannel& out, const std::vector<ResultColumn>& columns,
              const std::vector<std::vector<CellValue>>& rows, std::uint16_t more,
              std::size_t text_size);

}  // namespace vq::ase_server
