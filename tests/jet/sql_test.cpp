#include "jet/sql.h"

#include <gtest/gtest.h>

#include "jet/error.h"

namespace jet {
namespace {

TEST(Sql, SelectAllFromANameInAnyQuoting) {
  for (const char* sql : {"SELECT * FROM `Order Details`", "select * from [Order Details];",
                          "  Select\n*\tFrom   [Order Details] ; ;"}) {
    Statement s = ParseStatement(sql);
    EXPECT_EQ(s.kind, Statement::Kind::kSelectAll) << sql;
    EXPECT_EQ(s.table, "Order Details") << sql;
  }
  EXPECT_EQ(ParseStatement("SELECT * FROM Orders").table, "Orders");
  EXPECT_EQ(ParseStatement("SELECT * FROM [Umsätze]").table, "Umsätze");
  // Inside one quoting the other's delimiters are ordinary characters.
  EXPECT_EQ(ParseStatement("SELECT * FROM `a]b`").table, "a]b");
  EXPECT_EQ(ParseStatement("SELECT * FROM [a`b]").table, "a`b");
}

TEST(Sql, OtherStatementsAreRecognisedByKind) {
  EXPECT_EQ(ParseStatement("CREATE TABLE `x` (a TEXT)").kind, Statement::Kind::kCreateTable);
  EXPECT_EQ(ParseStatement("insert into `x` values (1)").kind, Statement::Kind::kInsert);
  EXPECT_EQ(ParseStatement("DROP TABLE `x`").kind, Statement::Kind::kDrop);
  EXPECT_EQ(ParseStatement("SELECT a1.* INTO `n` FROM `o` AS a1;").kind,
            Statement::Kind::kSelectInto);
  EXPECT_EQ(ParseStatement("SELECT A FROM [x]").kind, Statement::Kind::kOther);
  EXPECT_EQ(ParseStatement("SELECT * FROM [x] WHERE a = 1").kind, Statement::Kind::kOther);
}

TEST(Sql, TextThatIsNoStatementIsASyntaxError) {
  for (const char* sql :
       {"", " ; ", "SELECT * FROM [unclosed", "SELECT * FROM `open", "SELECT * FROM []"}) {
    try {
      ParseStatement(sql);
      ADD_FAILURE() << "accepted: " << sql;
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kSyntaxError) << sql;
    }
  }
}

}  // namespace
}  // namespace jet
