// A table's shape as text: its columns in Jet SQL terms, its indexes and the
// relationships it takes part in, so a user or a test can see what a table is
// and compare it before and after a change (a rename keeps all of it).
//
//   TABLE [Orders]
//   COLUMN [ID] COUNTER NOT NULL
//   COLUMN [Customer] TEXT(50)
//   COLUMN [Total] DECIMAL(18,4) NOT NULL
//   INDEX [PrimaryKey] PRIMARY KEY UNIQUE REQUIRED ([ID] ASC)
//   INDEX [ByCustomer] IGNORE NULLS ([Customer] ASC, [Total] DESC)
//   INDEX [CustomersOrders] FOREIGN KEY ([Customer] ASC)
//   RELATIONSHIP [CustomersOrders] [Orders]([Customer]) REFERENCES [Customers]([Name])
//       ENFORCED CASCADE UPDATES
//
// (one line each; RELATIONSHIP lines end in ENFORCED or NOT ENFORCED, then any
// of CASCADE UPDATES, CASCADE DELETES). Columns come in column-number order,
// indexes by name, relationships by name.
#pragma once

#include <string>

#include "jet/database.h"

namespace jet {

// The outline of table `name` of `db`, one item a line as above. Throws the
// engine's "no such table" error when there is none.
std::string OutlineTable(Database& db, const std::string& name);

// The Jet SQL type of `column` as CREATE TABLE would give it ("TEXT(50)",
// "DECIMAL(18,4)", "COUNTER", ...); `jet3` says text lengths count bytes of
// a code page rather than UTF-16 units.
std::string JetSqlTypeOf(const Column& column, bool jet3);

}  // namespace jet
