#include "jet/sql.h"

#include <algorithm>
#include <cstring>

#include "jet/error.h"
#include "jet/table_definition.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

// One token: a view into the statement, so lexing copies nothing.
struct Token {
  enum class Type : uint8_t {
    kEnd,
    kWord,    // bare word: keyword or name
    kName,    // `quoted` or [quoted] name; text is what is inside
    kString,  // 'text' or "text"; text is inside the quotes, still escaped
    kNumber,  // digits, fraction, exponent, no sign
    kDate,    // #...#; text is inside the # signs
    kHex,     // 0x...; text is the hex digits
    kSymbol,  // one other character
  };
  Type type = Type::kEnd;
  char quote = 0;        // kString: the quote character
  bool escaped = false;  // kString: holds a doubled quote
  std::string_view text;
  size_t pos = 0;  // where the token starts in the statement
};

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
constexpr bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// Letters, underscore and every byte of a multi-byte UTF-8 character: a
// bare name may be in any script.
constexpr bool IsWordStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
constexpr bool IsWordChar(char c) {
  return IsWordStart(c) || IsDigit(c);
}
constexpr char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

int HexValue(char c) {
  if (c <= '9') return c - '0';
  return (Upper(c) - 'A') + 10;
}

// `a` equals `b` ignoring ASCII case.
bool EqualsFold(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 character.
std::string_view Clip(std::string_view text, size_t limit, bool* clipped = nullptr) {
  if (clipped) *clipped = text.size() > limit;
  if (text.size() <= limit) return text;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

[[noreturn]] void NotSupported(const std::string& message) {
  throw JetError(error_numbers::kNotSupported, message);
}

// The first keywords of statements Jet knows that this engine does not carry out.
constexpr const char* kUnsupportedStatements[] = {
    "UPDATE",    "DELETE",   "TRANSFORM", "PARAMETERS", "GRANT",  "REVOKE", "EXEC",
    "EXECUTE",   "TRUNCATE", "MERGE",     "WITH",       "BEGIN",  "COMMIT", "ROLLBACK",
    "PROCEDURE", "DECLARE",  "CALL",      "REPLACE",    "UPSERT", "SET"};

// Words that open a clause after the FROM of a SELECT.
constexpr const char* kUnsupportedClauses[] = {"WHERE", "ORDER", "GROUP", "HAVING", "UNION",
                                               "JOIN",  "INNER", "LEFT",  "RIGHT",  "FULL",
                                               "CROSS", "IN",    "PIVOT", "OUTER"};

// A data type of CREATE TABLE and how it takes a size.
struct TypeName {
  const char* name;
  uint8_t type;
  enum Size : uint8_t { kNone, kLength, kPrecision } size;
  bool autoincrement;
};

constexpr TypeName kTypeNames[] = {
    {"TEXT", kText, TypeName::kLength, false},
    {"VARCHAR", kText, TypeName::kLength, false},
    {"CHAR", kText, TypeName::kLength, false},
    {"CHARACTER", kText, TypeName::kLength, false},
    {"STRING", kText, TypeName::kLength, false},
    {"NCHAR", kText, TypeName::kLength, false},
    {"NVARCHAR", kText, TypeName::kLength, false},
    {"ALPHANUMERIC", kText, TypeName::kLength, false},
    {"MEMO", kMemo, TypeName::kNone, false},
    {"LONGTEXT", kMemo, TypeName::kNone, false},
    {"LONGCHAR", kMemo, TypeName::kNone, false},
    {"NOTE", kMemo, TypeName::kNone, false},
    {"NTEXT", kMemo, TypeName::kNone, false},
    {"BYTE", kByte, TypeName::kNone, false},
    {"TINYINT", kByte, TypeName::kNone, false},
    {"INTEGER1", kByte, TypeName::kNone, false},
    {"SHORT", kInt, TypeName::kNone, false},
    {"SMALLINT", kInt, TypeName::kNone, false},
    {"INTEGER2", kInt, TypeName::kNone, false},
    {"INT", kLong, TypeName::kNone, false},
    {"INTEGER", kLong, TypeName::kNone, false},
    {"LONG", kLong, TypeName::kNone, false},
    {"INTEGER4", kLong, TypeName::kNone, false},
    {"BIGINT", kBigInt, TypeName::kNone, false},
    {"CURRENCY", kMoney, TypeName::kNone, false},
    {"MONEY", kMoney, TypeName::kNone, false},
    {"REAL", kFloat, TypeName::kNone, false},
    {"SINGLE", kFloat, TypeName::kNone, false},
    {"FLOAT4", kFloat, TypeName::kNone, false},
    {"IEEESINGLE", kFloat, TypeName::kNone, false},
    {"FLOAT", kDouble, TypeName::kNone, false},
    {"DOUBLE", kDouble, TypeName::kNone, false},
    {"FLOAT8", kDouble, TypeName::kNone, false},
    {"IEEEDOUBLE", kDouble, TypeName::kNone, false},
    {"NUMBER", kDouble, TypeName::kNone, false},
    {"DECIMAL", kNumeric, TypeName::kPrecision, false},
    {"NUMERIC", kNumeric, TypeName::kPrecision, false},
    {"DEC", kNumeric, TypeName::kPrecision, false},
    {"DATETIME", kDateTime, TypeName::kNone, false},
    {"DATE", kDateTime, TypeName::kNone, false},
    {"TIME", kDateTime, TypeName::kNone, false},
    {"TIMESTAMP", kDateTime, TypeName::kNone, false},
    {"BIT", kBool, TypeName::kNone, false},
    {"YESNO", kBool, TypeName::kNone, false},
    {"LOGICAL", kBool, TypeName::kNone, false},
    {"LOGICAL1", kBool, TypeName::kNone, false},
    {"BOOLEAN", kBool, TypeName::kNone, false},
    {"BINARY", kBinary, TypeName::kLength, false},
    {"VARBINARY", kBinary, TypeName::kLength, false},
    {"OLEOBJECT", kOle, TypeName::kNone, false},
    {"LONGBINARY", kOle, TypeName::kNone, false},
    {"IMAGE", kOle, TypeName::kNone, false},
    {"GENERAL", kOle, TypeName::kNone, false},
    {"GUID", kGuid, TypeName::kNone, false},
    {"UNIQUEIDENTIFIER", kGuid, TypeName::kNone, false},
    {"COUNTER", kLong, TypeName::kNone, true},
    {"AUTOINCREMENT", kLong, TypeName::kNone, true},
};

// Words that start a column constraint; each is refused by name.
constexpr const char* kColumnConstraints[] = {"PRIMARY", "UNIQUE",  "REFERENCES",    "CONSTRAINT",
                                              "DEFAULT", "CHECK",   "WITH",          "IDENTITY",
                                              "FOREIGN", "COLLATE", "AUTO_INCREMENT"};

class Parser {
 public:
  Parser(std::string_view sql, Statement& out) : sql_(sql), out_(out) {}

  void Run() {
    out_.table.clear();
    out_.source.clear();
    out_.columns.clear();
    Advance();
    if (tok_.type == Token::Type::kEnd) Fail("the statement is empty");
    if (tok_.type != Token::Type::kWord) Fail("expected a statement keyword");
    if (Is("INSERT")) return Insert();
    if (Is("SELECT")) {
      Select();
    } else if (Is("CREATE")) {
      Create();
    } else if (Is("DROP")) {
      Drop();
    } else if (Is("ALTER")) {
      Alter();
    } else {
      for (const char* word : kUnsupportedStatements)
        if (Is(word))
          NotSupported(std::string(word) + " statements are not supported by this engine.");
      Fail("expected SELECT, INSERT, CREATE or DROP");
    }
    out_.insert_columns.clear();
    out_.values.clear();
  }

 private:
  // --- lexing ---------------------------------------------------------------

  void Advance() {
    const size_t n = sql_.size();
    while (pos_ < n && IsSpace(sql_[pos_])) ++pos_;
    tok_.pos = pos_;
    tok_.escaped = false;
    if (pos_ >= n) {
      tok_.type = Token::Type::kEnd;
      tok_.text = {};
      return;
    }
    const char c = sql_[pos_];
    if (c == '`' || c == '[') {
      const char close = c == '`' ? '`' : ']';
      size_t end = sql_.find(close, pos_ + 1);
      if (end == std::string_view::npos)
        FailAt(pos_, c == '`' ? "a name opened with ` is not closed"
                              : "a name opened with [ is not closed");
      if (end == pos_ + 1) FailAt(pos_, "a quoted name is empty");
      Set(Token::Type::kName, pos_ + 1, end);
      pos_ = end + 1;
    } else if (c == '\'' || c == '"') {
      size_t i = pos_ + 1;
      for (;;) {
        size_t q = sql_.find(c, i);
        if (q == std::string_view::npos) FailAt(pos_, "a text constant is not closed");
        if (q + 1 < n && sql_[q + 1] == c) {
          tok_.escaped = true;
          i = q + 2;
          continue;
        }
        Set(Token::Type::kString, pos_ + 1, q);
        tok_.quote = c;
        pos_ = q + 1;
        break;
      }
    } else if (c == '#') {
      size_t end = sql_.find('#', pos_ + 1);
      if (end == std::string_view::npos)
        FailAt(pos_, "a date constant opened with # is not closed");
      if (end == pos_ + 1) FailAt(pos_, "a date constant is empty");
      Set(Token::Type::kDate, pos_ + 1, end);
      pos_ = end + 1;
    } else if (IsDigit(c) || (c == '.' && pos_ + 1 < n && IsDigit(sql_[pos_ + 1]))) {
      LexNumber();
    } else if (IsWordStart(c)) {
      size_t i = pos_ + 1;
      while (i < n && IsWordChar(sql_[i])) ++i;
      Set(Token::Type::kWord, pos_, i);
      pos_ = i;
    } else {
      Set(Token::Type::kSymbol, pos_, pos_ + 1);
      ++pos_;
    }
  }

  void LexNumber() {
    const size_t n = sql_.size();
    const size_t start = pos_;
    size_t i = pos_;
    if (sql_[i] == '0' && i + 1 < n && (sql_[i + 1] == 'x' || sql_[i + 1] == 'X')) {
      i += 2;
      while (i < n && IsHexDigit(sql_[i])) ++i;
      if (i < n && IsWordChar(sql_[i])) FailAt(start, "a hexadecimal constant is malformed");
      if ((i - start) % 2 != 0)
        FailAt(start, "a hexadecimal constant needs an even number of digits");
      Set(Token::Type::kHex, start + 2, i);
      pos_ = i;
      return;
    }
    while (i < n && IsDigit(sql_[i])) ++i;
    if (i < n && sql_[i] == '.') {
      ++i;
      while (i < n && IsDigit(sql_[i])) ++i;
    }
    if (i < n && (sql_[i] == 'e' || sql_[i] == 'E')) {
      ++i;
      if (i < n && (sql_[i] == '+' || sql_[i] == '-')) ++i;
      if (i >= n || !IsDigit(sql_[i])) FailAt(start, "a number's exponent has no digits");
      while (i < n && IsDigit(sql_[i])) ++i;
    }
    if (i < n && (IsWordChar(sql_[i]) || sql_[i] == '.')) FailAt(start, "a number is malformed");
    Set(Token::Type::kNumber, start, i);
    pos_ = i;
  }

  void Set(Token::Type type, size_t begin, size_t end) {
    tok_.type = type;
    tok_.text = sql_.substr(begin, end - begin);
  }

  // --- helpers --------------------------------------------------------------

  bool Is(std::string_view keyword) const {
    return tok_.type == Token::Type::kWord && EqualsFold(tok_.text, keyword);
  }
  bool IsSymbol(char c) const { return tok_.type == Token::Type::kSymbol && tok_.text[0] == c; }
  bool IsName() const { return tok_.type == Token::Type::kWord || tok_.type == Token::Type::kName; }
  bool AtEnd() const { return tok_.type == Token::Type::kEnd; }

  // The token after the current one, without moving.
  Token PeekNext() {
    Parser copy = *this;
    copy.Advance();
    return copy.tok_;
  }

  void Expect(std::string_view keyword) {
    if (!Is(keyword)) Fail("expected " + std::string(keyword));
    Advance();
  }
  void ExpectSymbol(char c) {
    if (!IsSymbol(c)) Fail(std::string("expected \"") + c + "\"");
    Advance();
  }
  // Reads a name into `out` and moves past it.
  void Name(std::string& out, const char* what) {
    if (!IsName()) Fail(std::string("expected ") + what);
    out.assign(tok_.text);
    Advance();
  }

  // Accepts trailing semicolons and then the end; names clauses it does not do.
  void End() {
    while (IsSymbol(';')) Advance();
    if (AtEnd()) return;
    if (out_.kind == Statement::Kind::kSelectAll || out_.kind == Statement::Kind::kSelectInto) {
      for (const char* word : kUnsupportedClauses)
        if (Is(word))
          NotSupported(std::string(word) +
                       " is not supported by this engine in SELECT statements.");
      if (IsSymbol(','))
        NotSupported("Reading from more than one table is not supported by this engine.");
    }
    Fail("expected the end of the statement");
  }

  [[noreturn]] void Fail(const std::string& what) const { FailAt(tok_.pos, what, true); }

  [[noreturn]] void FailAt(size_t pos, const std::string& what, bool name_token = false) const {
    bool clipped = false;
    std::string message = "Syntax error in the statement \"";
    message += Clip(sql_, 200, &clipped);
    if (clipped) message += "...";
    message += "\": ";
    message += what;
    message += " at character " + std::to_string(pos + 1);
    if (name_token) {
      if (tok_.type == Token::Type::kEnd) {
        message += " (the end of the statement)";
      } else {
        std::string_view near = Clip(sql_.substr(pos), 24, &clipped);
        message += " (near \"";
        message += near;
        message += clipped ? "...\")" : "\")";
      }
    }
    message += ".";
    throw JetError(error_numbers::kSyntaxError, message);
  }

  // --- statements -----------------------------------------------------------

  void Select() {
    Advance();
    std::string qualifier;
    bool qualified = false;
    if (IsSymbol('*')) {
      Advance();
    } else if (IsName() && PeekNext().type == Token::Type::kSymbol && PeekNext().text[0] == '.') {
      qualifier.assign(tok_.text);
      qualified = true;
      Advance();
      Advance();
      if (IsName() && !Is("FROM") && !Is("INTO")) SelectList();  // a.column
      if (!IsSymbol('*')) Fail("expected a column name or \"*\" after \".\"");
      Advance();
    } else if (AtEnd() || IsSymbol(';')) {
      Fail("expected \"*\"");
    } else {
      SelectList();
    }
    if (Is("INTO")) {
      Advance();
      out_.kind = Statement::Kind::kSelectInto;
      Name(out_.table, "the name of the new table");
      if (Is("IN"))
        NotSupported("SELECT ... INTO another database (IN) is not supported by this engine.");
      Expect("FROM");
      Name(out_.source, "the name of the table copied");
    } else if (Is("FROM")) {
      Advance();
      out_.kind = Statement::Kind::kSelectAll;
      Name(out_.table, "a table name");
    } else {
      Fail("expected FROM or INTO");
    }
    // An optional alias, which a qualified * must name.
    std::string alias;
    if (Is("AS")) {
      Advance();
      Name(alias, "an alias");
    } else if (tok_.type == Token::Type::kName ||
               (tok_.type == Token::Type::kWord && !IsClauseWord())) {
      Name(alias, "an alias");
    }
    if (qualified) {
      const std::string& target =
          alias.empty() ? (out_.kind == Statement::Kind::kSelectInto ? out_.source : out_.table)
                        : alias;
      if (!EqualsFold(qualifier, target))
        Fail("\"" + qualifier + ".*\" names no table of the FROM clause");
    }
    End();
  }

  bool IsClauseWord() const {
    for (const char* word : kUnsupportedClauses)
      if (Is(word)) return true;
    return false;
  }

  [[noreturn]] void SelectList() {
    NotSupported(
        "SELECT statements that name columns or compute values are not supported by this "
        "engine; only SELECT * FROM a table and SELECT * INTO a new table are.");
  }

  void Insert() {
    Advance();
    Expect("INTO");
    out_.kind = Statement::Kind::kInsert;
    Name(out_.table, "a table name");
    size_t columns = 0;
    if (IsSymbol('(')) {
      Advance();
      for (;;) {
        if (columns == out_.insert_columns.size()) out_.insert_columns.emplace_back();
        std::string& name = out_.insert_columns[columns];
        Name(name, "a column name");
        for (size_t k = 0; k < columns; ++k)
          if (EqualsFold(out_.insert_columns[k], name))
            FailAt(tok_.pos, "column \"" + name + "\" is named twice");
        ++columns;
        if (IsSymbol(')')) break;
        ExpectSymbol(',');
      }
      Advance();
    }
    out_.insert_columns.resize(columns);
    if (Is("SELECT"))
      NotSupported("INSERT INTO ... SELECT is not supported by this engine; only VALUES is.");
    Expect("VALUES");
    ExpectSymbol('(');
    size_t values = 0;
    for (;;) {
      if (values == out_.values.size()) out_.values.emplace_back();
      Constant(out_.values[values]);
      ++values;
      if (IsSymbol(')')) break;
      if (IsSymbol(',')) {
        Advance();
        continue;
      }
      if (IsOperator())
        NotSupported("Expressions in VALUES are not supported by this engine; only constants are.");
      Fail("expected \",\" or \")\"");
    }
    out_.values.resize(values);
    Advance();
    if (IsSymbol(','))
      NotSupported(
          "INSERT with more than one row of VALUES is not supported by this engine; send one "
          "statement per row.");
    End();
    if (columns != 0 && columns != values)
      Fail("the statement names " + std::to_string(columns) + " columns but gives " +
           std::to_string(values) + " values");
  }

  bool IsOperator() const {
    if (tok_.type == Token::Type::kWord) {
      for (const char* word :
           {"AND", "OR", "NOT", "MOD", "XOR", "EQV", "IMP", "LIKE", "IS", "BETWEEN"})
        if (Is(word)) return true;
      return false;
    }
    if (tok_.type != Token::Type::kSymbol) return false;
    return std::strchr("+-*/\\&^=<>|%", tok_.text[0]) != nullptr;
  }

  // Reads one constant into `lit` and moves past it.
  void Constant(Literal& lit) {
    if (IsSymbol('-') || IsSymbol('+')) {
      const bool negative = tok_.text[0] == '-';
      Advance();
      if (tok_.type != Token::Type::kNumber) {
        if (tok_.type == Token::Type::kWord || tok_.type == Token::Type::kName || IsSymbol('('))
          NotSupported(
              "Expressions in VALUES are not supported by this engine; only constants are.");
        Fail("expected a number after the sign");
      }
      lit.kind = Literal::Kind::kNumber;
      lit.text.clear();
      if (negative) lit.text += '-';
      lit.text += tok_.text;
      Advance();
      return;
    }
    switch (tok_.type) {
      case Token::Type::kNumber:
        lit.kind = Literal::Kind::kNumber;
        lit.text.assign(tok_.text);
        break;
      case Token::Type::kString:
        lit.kind = Literal::Kind::kText;
        if (!tok_.escaped) {
          lit.text.assign(tok_.text);
        } else {
          lit.text.clear();
          std::string_view rest = tok_.text;
          for (size_t q; (q = rest.find(tok_.quote)) != std::string_view::npos;) {
            lit.text.append(rest.substr(0, q + 1));
            rest.remove_prefix(q + 2);  // the lexer made sure the quote is doubled
          }
          lit.text.append(rest);
        }
        break;
      case Token::Type::kDate:
        lit.kind = Literal::Kind::kDate;
        lit.text.assign(tok_.text);
        break;
      case Token::Type::kHex: {
        lit.kind = Literal::Kind::kBytes;
        const std::string_view digits = tok_.text;
        lit.text.resize(digits.size() / 2);
        for (size_t k = 0; k < lit.text.size(); ++k)
          lit.text[k] =
              static_cast<char>(HexValue(digits[2 * k]) * 16 + HexValue(digits[2 * k + 1]));
        break;
      }
      case Token::Type::kWord:
        if (Is("NULL")) {
          lit.kind = Literal::Kind::kNull;
        } else if (Is("TRUE") || Is("YES")) {
          lit.kind = Literal::Kind::kTrue;
        } else if (Is("FALSE") || Is("NO")) {
          lit.kind = Literal::Kind::kFalse;
        } else {
          NotSupported(
              "Names and functions in VALUES are not supported by this engine; only constants "
              "are (found \"" +
              std::string(Clip(tok_.text, 40)) + "\").");
        }
        lit.text.clear();
        break;
      case Token::Type::kName:
        NotSupported(
            "Names in VALUES are not supported by this engine; only constants are (found \"" +
            std::string(Clip(tok_.text, 40)) + "\").");
      default:
        if (IsSymbol('('))
          NotSupported(
              "Expressions in VALUES are not supported by this engine; only constants are.");
        Fail("expected a value");
    }
    Advance();
  }

  void Create() {
    Advance();
    if (Is("INDEX") || Is("UNIQUE")) return CreateIndex();
    if (!Is("TABLE")) {
      for (const char* word :
           {"VIEW", "PROCEDURE", "USER", "GROUP", "DATABASE", "TEMPORARY", "TEMP", "TRIGGER"}) {
        if (Is(word)) {
          std::string what = Is("UNIQUE") ? "INDEX" : word;
          NotSupported("CREATE " + what + " statements are not supported by this engine.");
        }
      }
      Fail("expected TABLE");
    }
    Advance();
    out_.kind = Statement::Kind::kCreateTable;
    Name(out_.table, "a table name");
    ExpectSymbol('(');
    if (IsSymbol(')')) Fail("a table needs at least one column");
    for (;;) {
      TableConstraint();
      StatementColumn& column = out_.columns.emplace_back();
      Name(column.name, "a column name");
      ColumnType(column);
      ColumnOptions(column);
      if (IsSymbol(')')) break;
      ExpectSymbol(',');
    }
    Advance();
    End();
    std::vector<std::string> upper;
    upper.reserve(out_.columns.size());
    for (const StatementColumn& column : out_.columns) {
      upper.push_back(UpperCaseName(column.name));
      if (std::find(upper.begin(), upper.end() - 1, upper.back()) != upper.end() - 1)
        throw JetError(error_numbers::kSyntaxError, "The column \"" + column.name +
                                                        "\" is defined twice in CREATE TABLE \"" +
                                                        out_.table + "\".");
    }
  }

  // Refuses a table-level constraint ("CONSTRAINT pk PRIMARY KEY (id)", "UNIQUE (a, b)").
  void TableConstraint() {
    if (tok_.type != Token::Type::kWord) return;
    const Token next = PeekNext();
    auto next_is = [&](std::string_view word) {
      return next.type == Token::Type::kWord && EqualsFold(next.text, word);
    };
    const bool paren = next.type == Token::Type::kSymbol && next.text[0] == '(';
    const char* what = nullptr;
    if (Is("CONSTRAINT"))
      what = "CONSTRAINT";
    else if (Is("PRIMARY") && next_is("KEY"))
      what = "PRIMARY KEY";
    else if (Is("FOREIGN") && next_is("KEY"))
      what = "FOREIGN KEY";
    else if (Is("UNIQUE") && paren)
      what = "UNIQUE";
    else if (Is("CHECK") && paren)
      what = "CHECK";
    if (what)
      NotSupported(std::string("Constraints (") + what +
                   ") are not supported by this engine; the table \"" + out_.table +
                   "\" was not created.");
  }

  void ColumnType(StatementColumn& column) {
    if (tok_.type != Token::Type::kWord)
      Fail("expected the data type of column \"" + column.name + "\"");
    const TypeName* found = nullptr;
    for (const TypeName& t : kTypeNames)
      if (EqualsFold(tok_.text, t.name)) found = &t;
    if (!found)
      Fail("\"" + std::string(Clip(tok_.text, 40)) + "\" is not a data type this engine knows");
    column.type = found->type;
    column.autoincrement = found->autoincrement;
    Advance();
    if (found->size == TypeName::kLength) column.length = 255;
    if (found->size == TypeName::kPrecision) {
      column.precision = 18;
      column.scale = 0;
    }
    if (!IsSymbol('(')) return;
    if (found->autoincrement)
      NotSupported("A seed and step for " + std::string(found->name) +
                   " are not supported by this engine (column \"" + column.name + "\").");
    if (found->size == TypeName::kNone)
      Fail("the type " + std::string(found->name) + " takes no size");
    Advance();
    const size_t at = tok_.pos;
    const int first = SizeNumber();
    if (found->size == TypeName::kLength) {
      if (first < 1 || first > 255)
        FailAt(at, "the size of column \"" + column.name + "\" must be 1 to 255");
      column.length = static_cast<uint16_t>(first);
    } else {
      int scale = 0;
      if (IsSymbol(',')) {
        Advance();
        scale = SizeNumber();
      }
      if (first < 1 || first > 28)
        FailAt(at, "the precision of column \"" + column.name + "\" must be 1 to 28");
      if (scale > first)
        FailAt(at, "the scale of column \"" + column.name + "\" must be 0 to its precision");
      column.precision = static_cast<uint8_t>(first);
      column.scale = static_cast<uint8_t>(scale);
    }
    ExpectSymbol(')');
  }

  // A whole number in a type's parentheses (capped, so huge ones stay out of range).
  int SizeNumber() {
    if (tok_.type != Token::Type::kNumber ||
        tok_.text.find_first_not_of("0123456789") != std::string_view::npos)
      Fail("expected a whole number");
    int value = 0;
    for (char c : tok_.text) value = std::min(value * 10 + (c - '0'), 100000);
    Advance();
    return value;
  }

  void ColumnOptions(StatementColumn& column) {
    for (;;) {
      if (Is("NOT")) {
        Advance();
        Expect("NULL");
        column.not_null = true;
      } else if (Is("NULL")) {
        Advance();
        column.not_null = false;
      } else {
        break;
      }
    }
    if (IsSymbol(',') || IsSymbol(')')) return;
    for (const char* word : kColumnConstraints) {
      if (Is(word)) {
        std::string what = word;
        if (Is("PRIMARY") || Is("FOREIGN")) what += " KEY";
        NotSupported("Column constraints (" + what +
                     ") are not supported by this engine (column \"" + column.name +
                     "\" of table \"" + out_.table + "\").");
      }
    }
    Fail("expected \",\" or \")\" after column \"" + column.name + "\"");
  }

  void CreateIndex() {
    StatementIndex& wanted = out_.index;
    wanted = StatementIndex{};
    if (Is("UNIQUE")) {
      wanted.unique = true;
      Advance();
    }
    Expect("INDEX");
    out_.kind = Statement::Kind::kCreateIndex;
    Name(wanted.name, "an index name");
    Expect("ON");
    Name(out_.table, "a table name");
    ExpectSymbol('(');
    for (;;) {
      StatementIndexColumn& column = wanted.columns.emplace_back();
      Name(column.name, "a column name");
      if (Is("ASC")) {
        Advance();
      } else if (Is("DESC")) {
        column.ascending = false;
        Advance();
      }
      if (IsSymbol(')')) break;
      ExpectSymbol(',');
    }
    Advance();
    if (Is("WITH")) {
      Advance();
      if (Is("PRIMARY")) {
        wanted.primary = true;
        Advance();
      } else if (Is("DISALLOW")) {
        Advance();
        Expect("NULL");
        wanted.disallow_null = true;
      } else if (Is("IGNORE")) {
        Advance();
        Expect("NULL");
        wanted.ignore_null = true;
      } else {
        Fail("expected PRIMARY, DISALLOW NULL or IGNORE NULL");
      }
    }
    End();
  }

  // ALTER TABLE name RENAME TO new_name; other changes of a table are refused by name.
  void Alter() {
    Advance();
    if (!Is("TABLE"))
      NotSupported(
          "ALTER statements other than ALTER TABLE ... RENAME TO are not supported by this "
          "engine.");
    Advance();
    Name(out_.table, "a table name");
    if (!Is("RENAME"))
      NotSupported(
          "ALTER TABLE can only rename a table in this engine (ALTER TABLE name RENAME TO "
          "new_name).");
    Advance();
    Expect("TO");
    out_.kind = Statement::Kind::kRenameTable;
    Name(out_.new_name, "the new table name");
    End();
  }

  void Drop() {
    Advance();
    if (!Is("TABLE")) {
      for (const char* word : {"INDEX", "VIEW", "PROCEDURE", "USER", "GROUP", "DATABASE"})
        if (Is(word))
          NotSupported("DROP " + std::string(word) +
                       " statements are not supported by this engine.");
      Fail("expected TABLE");
    }
    Advance();
    out_.kind = Statement::Kind::kDropTable;
    Name(out_.table, "a table name");
    End();
  }

  std::string_view sql_;
  Statement& out_;
  size_t pos_ = 0;
  Token tok_;
};

}  // namespace

void ParseStatement(std::string_view sql, Statement& out) {
  Parser(sql, out).Run();
}

Statement ParseStatement(std::string_view sql) {
  Statement s;
  ParseStatement(sql, s);
  return s;
}

}  // namespace jet
