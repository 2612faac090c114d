#include "catalogue_query.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "result_rows.h"
#include "server_message.h"

namespace vq::ase_server {
namespace {

// Values are never long here; the text size does not matter.
constexpr std::size_t kDefaultTextSize = 32768;

constexpr std::array<std::string_view, 24> kSystemTables{
    "sysalternates", "sysattributes", "syscolumns",      "syscomments",   "sysconstraints",
    "sysdepends",    "sysgams",       "sysindexes",      "sysjars",       "syskeys",
    "syslogs",       "sysobjects",    "syspartitions",   "sysprocedures", "sysprotects",
    "sysqueryplans", "sysreferences", "sysroles",        "sysstatistics", "systabstats",
    "systhresholds", "systypes",      "sysusermessages", "sysusers"};

}  // namespace

bool IsSystemTableName(const std::string& name) {
  return std::find(kSystemTables.begin(), kSystemTables.end(), name) != kSystemTables.end();
}

void AnswerSysobjects(const SelectStatement& s, const std::vector<std::string>& user_tables,
                      std::uint16_t more, PacketChannel& out) {
  const std::vector<ColumnDefinition> defs{
      {"name", {TypeKind::kVarChar, 255, 0, 0}, false},
      {"id", {TypeKind::kInt, 0, 0, 0}, false},
      {"uid", {TypeKind::kInt, 0, 0, 0}, false},
      {"type", {TypeKind::kChar, 2, 0, 0}, false},
  };
  std::vector<std::vector<CellValue>> rows;
  std::int64_t id = 1;
  for (std::string_view name : kSystemTables) {
    rows.push_back({Text{std::string(name)}, id++, std::int64_t{1}, Text{"S "}});
  }
  id = 1000000;
  for (const std::string& name : user_tables) {
    rows.push_back({Text{name}, id++, std::int64_t{1}, Text{"U "}});
  }
  const auto where = ConvertConditions(s.where, defs, "sysobjects");
  std::erase_if(rows, [&](const std::vector<CellValue>& row) {
    return !std::all_of(where.begin(), where.end(), [&](const StoredCondition& c) {
      return Holds(c, row[static_cast<std::size_t>(c.column)]);
    });
  });
  std::vector<StoredOrder> order;
  for (const OrderKey& key : s.order_by) {
    const auto it = std::find_if(defs.begin(), defs.end(),
                                 [&](const ColumnDefinition& d) { return d.name == key.column; });
    if (it == defs.end()) throw ServerError(messages::InvalidColumn(key.column));
    order.push_back(StoredOrder{static_cast<int>(it - defs.begin()), key.descending});
  }
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    for (const StoredOrder& o : order) {
      const auto at = static_cast<std::size_t>(o.column);
      const int r = CompareCells(a[at], b[at]);
      if (r != 0) return o.descending ? r > 0 : r < 0;
    }
    return false;
  });

  std::vector<ResultColumn> columns;
  std::vector<std::size_t> picks;
  bool counting = false;
  for (const SelectItem& item : s.items) {
    if (item.kind == SelectItem::Kind::kStar) {
      for (std::size_t i = 0; i < defs.size(); ++i) picks.push_back(i);
    } else if (item.kind == SelectItem::Kind::kColumn) {
      const auto it = std::find_if(defs.begin(), defs.end(),
                                   [&](const ColumnDefinition& d) { return d.name == item.name; });
      if (it == defs.end()) throw ServerError(messages::InvalidColumn(item.name));
      picks.push_back(static_cast<std::size_t>(it - defs.begin()));
      if (!item.alias.empty()) {
        columns.push_back(Column(item.alias, it->type.kind, false, it->type.length));
        continue;
      }
    } else if (item.kind == SelectItem::Kind::kCountStar) {
      counting = true;
      continue;
    } else {
      throw ServerError(messages::SyntaxNear(item.name));
    }
    for (std::size_t i = columns.size(); i < picks.size(); ++i) {
      const ColumnDefinition& d = defs[picks[i]];
      columns.push_back(Column(d.name, d.type.kind, false, d.type.length));
    }
  }
  if (counting) {
    const auto n = static_cast<std::int64_t>(rows.size());
    SendRows(out, {Column("", TypeKind::kInt, false)}, {{n}}, more, kDefaultTextSize);
    return;
  }
  std::vector<std::vector<CellValue>> picked;
  for (const auto& row : rows) {
    std::vector<CellValue> r;
    for (std::size_t p : picks) r.push_back(row[p]);
    picked.push_back(std::move(r));
  }
  SendRows(out, columns, picked, more, kDefaultTextSize);
}

}  // namespace vq::ase_server
