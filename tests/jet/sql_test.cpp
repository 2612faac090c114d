#include "jet/sql.h"

#include <gtest/gtest.h>

#include "jet/error.h"
#include "jet/table_definition.h"

namespace jet {
namespace {

// The error `sql` raises: its number, with the message for failures.
int32_t ErrorOf(std::string_view sql, std::string* message = nullptr) {
  try {
    ParseStatement(sql);
  } catch (const JetError& e) {
    if (message) *message = e.what();
    return e.Number();
  }
  return 0;
}

TEST(Sql, SelectAllFromANameInAnyQuoting) {
  for (const char* sql : {"SELECT * FROM `Order Details`", "select * from [Order Details];",
                          "  Select\n*\tFrom   [Order Details] ; ;"}) {
    Statement s = ParseStatement(sql);
    EXPECT_EQ(s.kind, Statement::Kind::kSelectAll) << sql;
    EXPECT_EQ(s.table, "Order Details") << sql;
  }
  EXPECT_EQ(ParseStatement("SELECT * FROM Orders").table, "Orders");
  EXPECT_EQ(ParseStatement("SELECT * FROM [Umsätze]").table, "Umsätze");
  EXPECT_EQ(ParseStatement("SELECT * FROM Umsätze_2").table, "Umsätze_2");
  // Inside one quoting the other's delimiters are ordinary characters.
  EXPECT_EQ(ParseStatement("SELECT * FROM `a]b`").table, "a]b");
  EXPECT_EQ(ParseStatement("SELECT * FROM [a`b]").table, "a`b");
  EXPECT_EQ(ParseStatement("SELECT*FROM[x]").table, "x");
}

TEST(Sql, SelectIntoWithAndWithoutAlias) {
  Statement s = ParseStatement("SELECT a1.* INTO `new one` FROM `old one` AS a1;");
  EXPECT_EQ(s.kind, Statement::Kind::kSelectInto);
  EXPECT_EQ(s.table, "new one");
  EXPECT_EQ(s.source, "old one");
  s = ParseStatement("select src.* into [n] from [o] as SRC");
  EXPECT_EQ(s.kind, Statement::Kind::kSelectInto);
  EXPECT_EQ(s.source, "o");
  s = ParseStatement("SELECT * INTO n FROM o");
  EXPECT_EQ(s.kind, Statement::Kind::kSelectInto);
  EXPECT_EQ(s.table, "n");
  EXPECT_EQ(s.source, "o");
  // Without an alias the qualifier is the table itself.
  EXPECT_EQ(ParseStatement("SELECT o.* INTO n FROM o").source, "o");
  // A qualifier that names nothing in FROM.
  EXPECT_EQ(ErrorOf("SELECT a2.* INTO n FROM o AS a1"), error_numbers::kSyntaxError);
  EXPECT_EQ(ErrorOf("SELECT a1.* INTO n FROM o"), error_numbers::kSyntaxError);
}

TEST(Sql, CreateTableAsTheProgramSendsIt) {
  Statement s = ParseStatement("CREATE TABLE `T`(`id` INT,`name` VARCHAR,`price` INT);");
  EXPECT_EQ(s.kind, Statement::Kind::kCreateTable);
  EXPECT_EQ(s.table, "T");
  ASSERT_EQ(s.columns.size(), 3u);
  EXPECT_EQ(s.columns[0].name, "id");
  EXPECT_EQ(s.columns[0].type, kLong);
  EXPECT_EQ(s.columns[1].name, "name");
  EXPECT_EQ(s.columns[1].type, kText);
  EXPECT_EQ(s.columns[1].length, 255);
  EXPECT_FALSE(s.columns[2].not_null);
}

TEST(Sql, CreateTableMapsEveryTypeName) {
  struct Case {
    const char* type;
    uint8_t code;
    uint16_t length;
    uint8_t precision, scale;
    bool autoincrement;
  };
  const Case cases[] = {
      {"TEXT", kText, 255, 0, 0, false},
      {"varchar(10)", kText, 10, 0, 0, false},
      {"CHAR (1)", kText, 1, 0, 0, false},
      {"Text(255)", kText, 255, 0, 0, false},
      {"MEMO", kMemo, 0, 0, 0, false},
      {"LONGTEXT", kMemo, 0, 0, 0, false},
      {"BYTE", kByte, 0, 0, 0, false},
      {"SHORT", kInt, 0, 0, 0, false},
      {"SMALLINT", kInt, 0, 0, 0, false},
      {"INTEGER", kLong, 0, 0, 0, false},
      {"LONG", kLong, 0, 0, 0, false},
      {"BIGINT", kBigInt, 0, 0, 0, false},
      {"CURRENCY", kMoney, 0, 0, 0, false},
      {"MONEY", kMoney, 0, 0, 0, false},
      {"REAL", kFloat, 0, 0, 0, false},
      {"SINGLE", kFloat, 0, 0, 0, false},
      {"FLOAT", kDouble, 0, 0, 0, false},
      {"DOUBLE", kDouble, 0, 0, 0, false},
      {"DECIMAL", kNumeric, 0, 18, 0, false},
      {"NUMERIC(10)", kNumeric, 0, 10, 0, false},
      {"decimal(28, 28)", kNumeric, 0, 28, 28, false},
      {"DATETIME", kDateTime, 0, 0, 0, false},
      {"DATE", kDateTime, 0, 0, 0, false},
      {"BIT", kBool, 0, 0, 0, false},
      {"YESNO", kBool, 0, 0, 0, false},
      {"LOGICAL", kBool, 0, 0, 0, false},
      {"BINARY", kBinary, 255, 0, 0, false},
      {"VARBINARY(16)", kBinary, 16, 0, 0, false},
      {"OLEOBJECT", kOle, 0, 0, 0, false},
      {"LONGBINARY", kOle, 0, 0, 0, false},
      {"IMAGE", kOle, 0, 0, 0, false},
      {"GUID", kGuid, 0, 0, 0, false},
      {"UNIQUEIDENTIFIER", kGuid, 0, 0, 0, false},
      {"COUNTER", kLong, 0, 0, 0, true},
      {"AutoIncrement", kLong, 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    const std::string sql = std::string("create table t ([c] ") + c.type + " NOT NULL)";
    Statement s = ParseStatement(sql);
    ASSERT_EQ(s.columns.size(), 1u) << sql;
    const StatementColumn& col = s.columns[0];
    EXPECT_EQ(col.type, c.code) << sql;
    EXPECT_EQ(col.length, c.length) << sql;
    EXPECT_EQ(col.precision, c.precision) << sql;
    EXPECT_EQ(col.scale, c.scale) << sql;
    EXPECT_EQ(col.autoincrement, c.autoincrement) << sql;
    EXPECT_TRUE(col.not_null) << sql;
  }
  Statement s = ParseStatement("CREATE TABLE t (a TEXT(5) NULL, b INT NOT NULL, c LONG)");
  EXPECT_FALSE(s.columns[0].not_null);
  EXPECT_TRUE(s.columns[1].not_null);
  EXPECT_FALSE(s.columns[2].not_null);
}

TEST(Sql, CreateTableRefusals) {
  std::string message;
  // Constraints of a column and of the table, and indexes: valid, not done.
  for (const char* sql :
       {"CREATE TABLE t (id INT PRIMARY KEY)", "CREATE TABLE t (id INT NOT NULL UNIQUE)",
        "CREATE TABLE t (id INT REFERENCES o (id))", "CREATE TABLE t (id INT DEFAULT 1)",
        "CREATE TABLE t (id INT CHECK (id > 0))",
        "CREATE TABLE t (id INT CONSTRAINT pk PRIMARY KEY)",
        "CREATE TABLE t (id INT, CONSTRAINT pk PRIMARY KEY (id))",
        "CREATE TABLE t (id INT, PRIMARY KEY (id))", "CREATE TABLE t (id INT, UNIQUE (id))",
        "CREATE TABLE t (id COUNTER(1, 1))", "CREATE VIEW v AS SELECT * FROM t",
        "DROP INDEX i ON t"}) {
    EXPECT_EQ(ErrorOf(sql, &message), error_numbers::kNotSupported) << sql;
    EXPECT_NE(message.find("not supported"), std::string::npos) << message;
  }
  ErrorOf("CREATE TABLE t (id INT PRIMARY KEY)", &message);
  EXPECT_NE(message.find("PRIMARY KEY"), std::string::npos) << message;

  // Not valid at all.
  for (const char* sql :
       {"CREATE TABLE t ()", "CREATE TABLE t", "CREATE TABLE t (a)", "CREATE TABLE t (a WIDGET)",
        "CREATE TABLE t (a TEXT(0))", "CREATE TABLE t (a TEXT(256))",
        "CREATE TABLE t (a TEXT(99999999999))", "CREATE TABLE t (a TEXT(1.5))",
        "CREATE TABLE t (a DECIMAL(29))", "CREATE TABLE t (a DECIMAL(5,6))",
        "CREATE TABLE t (a DECIMAL(0))", "CREATE TABLE t (a BINARY(256))",
        "CREATE TABLE t (a INT(4))", "CREATE TABLE t (a INT,)", "CREATE TABLE t (a INT NOT)",
        "CREATE TABLE t (a INT) x", "CREATE t (a INT)"}) {
    EXPECT_EQ(ErrorOf(sql), error_numbers::kSyntaxError) << sql;
  }
  // Column names are compared without case, in any script.
  EXPECT_EQ(ErrorOf("CREATE TABLE t (Name TEXT, [NAME] INT)", &message),
            error_numbers::kSyntaxError);
  EXPECT_NE(message.find("NAME"), std::string::npos) << message;
  EXPECT_EQ(ErrorOf("CREATE TABLE t ([Ärger] TEXT, [ärger] INT)"), error_numbers::kSyntaxError);
}

TEST(Sql, CreateIndexAndRename) {
  Statement s = ParseStatement("create unique index [By Name] on `Orders` (Name DESC, id asc);");
  EXPECT_EQ(s.kind, Statement::Kind::kCreateIndex);
  EXPECT_EQ(s.table, "Orders");
  EXPECT_EQ(s.index.name, "By Name");
  EXPECT_TRUE(s.index.unique);
  EXPECT_FALSE(s.index.primary);
  ASSERT_EQ(s.index.columns.size(), 2u);
  EXPECT_EQ(s.index.columns[0].name, "Name");
  EXPECT_FALSE(s.index.columns[0].ascending);
  EXPECT_TRUE(s.index.columns[1].ascending);
  s = ParseStatement("CREATE INDEX pk ON t (id) WITH PRIMARY");
  EXPECT_TRUE(s.index.primary);
  EXPECT_FALSE(s.index.unique);
  s = ParseStatement("CREATE INDEX i ON t (a) WITH IGNORE NULL");
  EXPECT_TRUE(s.index.ignore_null);
  EXPECT_FALSE(s.index.primary);
  EXPECT_FALSE(s.index.disallow_null);
  s = ParseStatement("CREATE INDEX i ON t (a) WITH DISALLOW NULL");
  EXPECT_TRUE(s.index.disallow_null);

  s = ParseStatement("ALTER TABLE [Orders] RENAME TO `Orders 2024`;");
  EXPECT_EQ(s.kind, Statement::Kind::kRenameTable);
  EXPECT_EQ(s.table, "Orders");
  EXPECT_EQ(s.new_name, "Orders 2024");

  for (const char* sql :
       {"CREATE INDEX i ON t ()", "CREATE INDEX i ON t (a", "CREATE INDEX ON t (a)",
        "CREATE INDEX i t (a)", "CREATE INDEX i ON t (a) WITH NOTHING", "ALTER TABLE t RENAME n",
        "ALTER TABLE t RENAME TO", "ALTER TABLE t RENAME TO a b"})
    EXPECT_EQ(ErrorOf(sql), error_numbers::kSyntaxError) << sql;
  EXPECT_EQ(ErrorOf("ALTER TABLE t ALTER COLUMN c TEXT"), error_numbers::kNotSupported);
}

TEST(Sql, InsertAsTheProgramSendsIt) {
  Statement s = ParseStatement("INSERT INTO `T` VALUES('1', 'it''s', NULL)");
  EXPECT_EQ(s.kind, Statement::Kind::kInsert);
  EXPECT_EQ(s.table, "T");
  EXPECT_TRUE(s.insert_columns.empty());
  ASSERT_EQ(s.values.size(), 3u);
  EXPECT_EQ(s.values[0].kind, Literal::Kind::kText);
  EXPECT_EQ(s.values[0].text, "1");
  EXPECT_EQ(s.values[1].text, "it's");
  EXPECT_EQ(s.values[2].kind, Literal::Kind::kNull);
}

TEST(Sql, InsertLiteralsOfEveryKind) {
  Statement s = ParseStatement(
      "insert into [Order Details] ([a], `b c`, d, e, f, g, h, i, j, k, l, m, n, o) values "
      "(-12.5e-3, +7, - 0, '', 'a''''b', 'Grüße ✓ 😀', TRUE, false, #2/29/2024 1:45:30 PM#, "
      "0x00Ff, 0x, null, \"dq\"\"x\", 1E+400);");
  ASSERT_EQ(s.insert_columns.size(), 14u);
  EXPECT_EQ(s.insert_columns[1], "b c");
  ASSERT_EQ(s.values.size(), 14u);
  const auto& v = s.values;
  EXPECT_EQ(v[0].kind, Literal::Kind::kNumber);
  EXPECT_EQ(v[0].text, "-12.5e-3");
  EXPECT_EQ(v[1].text, "7");
  EXPECT_EQ(v[2].text, "-0");
  EXPECT_EQ(v[3].kind, Literal::Kind::kText);
  EXPECT_EQ(v[3].text, "");
  EXPECT_EQ(v[4].text, "a''b");
  EXPECT_EQ(v[5].text, "Grüße ✓ 😀");
  EXPECT_EQ(v[6].kind, Literal::Kind::kTrue);
  EXPECT_EQ(v[7].kind, Literal::Kind::kFalse);
  EXPECT_EQ(v[8].kind, Literal::Kind::kDate);
  EXPECT_EQ(v[8].text, "2/29/2024 1:45:30 PM");
  EXPECT_EQ(v[9].kind, Literal::Kind::kBytes);
  EXPECT_EQ(v[9].text, std::string("\x00\xff", 2));
  EXPECT_EQ(v[10].kind, Literal::Kind::kBytes);
  EXPECT_EQ(v[10].text, "");
  EXPECT_EQ(v[11].kind, Literal::Kind::kNull);
  EXPECT_EQ(v[12].text, "dq\"x");
  EXPECT_EQ(v[13].text, "1E+400");  // range is the column's business

  // Text may hold anything the statement's quoting does not end.
  EXPECT_EQ(ParseStatement("INSERT INTO t VALUES ('a;b) -- [c]`')").values[0].text, "a;b) -- [c]`");
}

TEST(Sql, ReusedStatementKeepsNothingFromTheLastOne) {
  Statement s;
  ParseStatement("INSERT INTO a (x, y) VALUES ('long text here', 2)", s);
  ParseStatement("INSERT INTO b VALUES (NULL)", s);
  EXPECT_EQ(s.table, "b");
  EXPECT_TRUE(s.insert_columns.empty());
  ASSERT_EQ(s.values.size(), 1u);
  EXPECT_EQ(s.values[0].kind, Literal::Kind::kNull);
  EXPECT_EQ(s.values[0].text, "");
  ParseStatement("INSERT INTO b VALUES (1, 2)", s);
  ParseStatement("CREATE TABLE c (x INT)", s);
  ParseStatement("SELECT * FROM d", s);
  EXPECT_EQ(s.kind, Statement::Kind::kSelectAll);
  EXPECT_TRUE(s.columns.empty());
  EXPECT_TRUE(s.source.empty());
  EXPECT_TRUE(s.values.empty());
}

TEST(Sql, InsertRefusalsAndErrors) {
  for (const char* sql :
       {"INSERT INTO t VALUES (1 + 2)", "INSERT INTO t VALUES (Now())", "INSERT INTO t VALUES (x)",
        "INSERT INTO t VALUES ([x])", "INSERT INTO t VALUES (-x)", "INSERT INTO t VALUES ((1))",
        "INSERT INTO t VALUES (1), (2)", "INSERT INTO t SELECT * FROM o",
        "INSERT INTO t (a) SELECT a FROM o"}) {
    EXPECT_EQ(ErrorOf(sql), error_numbers::kNotSupported) << sql;
  }
  std::string message;
  for (const char* sql :
       {"INSERT INTO t VALUES ('open)", "INSERT INTO t VALUES (#2024-01-01)",
        "INSERT INTO t VALUES (0x123)", "INSERT INTO t VALUES (0xZZ)", "INSERT INTO t VALUES (1e)",
        "INSERT INTO t VALUES (1.2.3)", "INSERT INTO t VALUES (12abc)", "INSERT INTO t VALUES ()",
        "INSERT INTO t VALUES (1,)", "INSERT INTO t VALUES (1", "INSERT INTO t VALUES 1",
        "INSERT INTO t (a, b) VALUES (1)", "INSERT INTO t (a, A) VALUES (1, 2)",
        "INSERT INTO t () VALUES (1)", "INSERT t VALUES (1)", "INSERT INTO t VALUES (1) x",
        "INSERT INTO t VALUES (##)", "INSERT INTO t VALUES (-)",
        "INSERT INTO t VALUES ('a' NULL)"}) {
    EXPECT_EQ(ErrorOf(sql, &message), error_numbers::kSyntaxError) << sql;
    // The message quotes the statement and says where.
    EXPECT_NE(message.find(sql), std::string::npos) << message;
    EXPECT_NE(message.find("at character"), std::string::npos) << message;
  }
  ErrorOf("INSERT INTO t VALUES 1", &message);
  EXPECT_NE(message.find("character 22"), std::string::npos) << message;
}

TEST(Sql, DropTable) {
  Statement s = ParseStatement("drop table [Order Details];");
  EXPECT_EQ(s.kind, Statement::Kind::kDropTable);
  EXPECT_EQ(s.table, "Order Details");
  EXPECT_EQ(ErrorOf("DROP TABLE"), error_numbers::kSyntaxError);
  EXPECT_EQ(ErrorOf("DROP TABLE a, b"), error_numbers::kSyntaxError);
}

TEST(Sql, OtherStatementsAreRefusedByName) {
  std::string message;
  EXPECT_EQ(ErrorOf("UPDATE t SET a = 1", &message), error_numbers::kNotSupported);
  EXPECT_EQ(message, "UPDATE statements are not supported by this engine.");
  EXPECT_EQ(ErrorOf("delete from t", &message), error_numbers::kNotSupported);
  EXPECT_EQ(message, "DELETE statements are not supported by this engine.");
  EXPECT_EQ(ErrorOf("ALTER TABLE t ADD COLUMN c INT"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT A FROM [x]"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT COUNT(*) FROM [x]"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT DISTINCT * FROM [x]"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT * FROM [x] WHERE a = 1", &message), error_numbers::kNotSupported);
  EXPECT_NE(message.find("WHERE"), std::string::npos) << message;
  EXPECT_EQ(ErrorOf("SELECT * FROM x ORDER BY a"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT * FROM x, y"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT * FROM x INNER JOIN y ON x.a = y.a"), error_numbers::kNotSupported);
  EXPECT_EQ(ErrorOf("SELECT * INTO n IN 'other.mdb' FROM o"), error_numbers::kNotSupported);
}

TEST(Sql, TextThatIsNoStatementIsASyntaxError) {
  for (const char* sql : {"", " ; ", "hello world", "42", "'text'", "SELECT", "SELECT *",
                          "SELECT * FROM", "SELECT * FROM [unclosed", "SELECT * FROM `open",
                          "SELECT * FROM []", "SELECT * FROM ``", "SELECT * FROM t; DROP TABLE t",
                          "SELECT * FROM 'x'", "SELECT * FROM t AS", "SELECT a. FROM t"}) {
    EXPECT_EQ(ErrorOf(sql), error_numbers::kSyntaxError) << sql;
  }
  // Very long statements are quoted in part.
  std::string message;
  ErrorOf("INSERT INTO t VALUES ('" + std::string(5000, 'x') + "' 1)", &message);
  EXPECT_LT(message.size(), 400u);
  EXPECT_NE(message.find("..."), std::string::npos);
}

}  // namespace
}  // namespace jet
