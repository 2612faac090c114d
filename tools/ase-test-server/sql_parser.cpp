#include "sql_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "common/ascii.h"
#include "server_message.h"
#include "sql_lexer.h"

namespace vq::ase_server {
namespace {

std::string Lower(std::string_view s) {
  return ascii::Lowered(s);
}

// Words that cannot be plain names (a subset of ASE's reserved words).
bool IsReserved(std::string_view lower) {
  static constexpr std::array<std::string_view, 60> kWords{
      "add",     "all",      "alter", "and",     "any",         "as",         "asc",     "begin",
      "between", "by",       "check", "commit",  "constraint",  "create",     "default", "delete",
      "desc",    "distinct", "drop",  "else",    "end",         "exec",       "execute", "exists",
      "foreign", "from",     "go",    "group",   "having",      "identity",   "if",      "in",
      "index",   "insert",   "into",  "is",      "key",         "like",       "not",     "null",
      "on",      "or",       "order", "primary", "public",      "references", "return",  "rollback",
      "select",  "set",      "table", "tran",    "transaction", "truncate",   "union",   "update",
      "use",     "values",   "where"};
  return std::find(kWords.begin(), kWords.end(), lower) != kWords.end();
}

// Words that begin a statement; they end the statement before them.
bool StartsStatement(std::string_view lower) {
  static constexpr std::array<std::string_view, 15> kWords{
      "select",  "insert", "create", "drop",     "delete",   "use",    "set",    "exec",
      "execute", "begin",  "commit", "rollback", "truncate", "update", "waitfor"};
  return std::find(kWords.begin(), kWords.end(), lower) != kWords.end();
}

class Parser {
 public:
  Parser(std::string_view batch, std::vector<Token> tokens)
      : batch_(batch), tokens_(std::move(tokens)) {}

  std::vector<ParsedStatement> Batch() {
    std::vector<ParsedStatement> out;
    while (true) {
      while (IsSymbol(";")) ++pos_;
      if (Peek().kind == TokenKind::kEnd) break;
      const std::size_t start = Peek().offset;
      Statement statement = OneStatement();
      std::string_view text = batch_.substr(start, Peek().offset - start);
      while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
      }
      out.push_back(ParsedStatement{std::move(statement), std::string(text)});
    }
    return out;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  const Token& Next() {
    const Token& t = Peek();
    if (pos_ < tokens_.size() - 1) ++pos_;
    return t;
  }
  bool IsWord(std::string_view lower, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::kWord && Lower(t.text) == lower;
  }
  bool IsSymbol(std::string_view s) const {
    return Peek().kind == TokenKind::kSymbol && Peek().text == s;
  }
  bool EatWord(std::string_view lower) {
    if (!IsWord(lower)) return false;
    ++pos_;
    return true;
  }
  bool EatSymbol(std::string_view s) {
    if (!IsSymbol(s)) return false;
    ++pos_;
    return true;
  }

  [[noreturn]] void Fail() const {
    const Token& t = Peek();
    if (t.kind == TokenKind::kEnd) {
      const Token& last = pos_ > 0 ? tokens_[pos_ - 1] : t;
      throw ServerError(messages::SyntaxNear(last.text));
    }
    if (t.kind == TokenKind::kWord && IsReserved(Lower(t.text))) {
      throw ServerError(messages::SyntaxNearKeyword(Lower(t.text)));
    }
    throw ServerError(messages::SyntaxNear(t.text));
  }
  void ExpectWord(std::string_view lower) {
    if (!EatWord(lower)) Fail();
  }
  void ExpectSymbol(std::string_view s) {
    if (!EatSymbol(s)) Fail();
  }

  // A name: a plain identifier that is not a reserved word, or a [bracketed] one.
  std::string Name() {
    const Token& t = Peek();
    std::string name;
    if (t.kind == TokenKind::kQuotedName) {
      name = t.text;
      if (name.empty() || name.find('.') != std::string::npos) Fail();
    } else if (t.kind == TokenKind::kWord && !IsReserved(Lower(t.text))) {
      name = t.text;
    } else {
      Fail();
    }
    if (name.size() > static_cast<std::size_t>(kMaxIdentifierLength)) {
      throw ServerError(messages::IdentifierTooLong(name, kMaxIdentifierLength));
    }
    ++pos_;
    return name;
  }

  // [database.][owner.]table; the owner and database parts are accepted and ignored.
  std::string TableName() {
    std::string name = Name();
    for (int parts = 1; parts < 3 && IsSymbol("."); ++parts) {
      ++pos_;
      if (IsSymbol(".")) continue;  // db..table
      name = Name();
    }
    return name;
  }

  Statement OneStatement() {
    const Token& t = Peek();
    if (t.kind != TokenKind::kWord) Fail();
    const std::string word = Lower(t.text);
    if (word == "select") return Select();
    if (word == "insert") return Insert();
    if (word == "create") return CreateTable();
    if (word == "drop") {
      Next();
      ExpectWord("table");
      return DropTableStatement{TableName()};
    }
    if (word == "delete") return Delete();
    if (word == "update") {
      Next();
      UpdateStatement u;
      u.table = TableName();
      ExpectWord("set");
      do {
        std::string column = Name();
        ExpectSymbol("=");
        u.assignments.emplace_back(std::move(column), ParseLiteral());
      } while (EatSymbol(","));
      u.where = Where();
      return u;
    }
    if (word == "truncate") {
      Next();
      ExpectWord("table");
      DeleteStatement d;
      d.table = TableName();
      d.truncate = true;
      return d;
    }
    if (word == "use") {
      Next();
      return UseStatement{Name()};
    }
    if (word == "set") return Set();
    if (word == "exec" || word == "execute") {
      Next();
      ExecStatement e;
      const Token& p = Next();
      if (p.kind != TokenKind::kWord && p.kind != TokenKind::kQuotedName) Fail();
      e.procedure = p.text;
      SkipToStatementEnd();
      return e;
    }
    if (word == "waitfor") {
      Next();
      ExpectWord("delay");
      if (Peek().kind != TokenKind::kString) Fail();
      const std::string text = Next().text;
      int h = 0, m = 0, sec = 0, ms = 0;
      char tail = 0;
      const int got = std::sscanf(text.c_str(), "%d:%d:%d.%3d%c", &h, &m, &sec, &ms, &tail);
      if (got < 2 || got > 4 || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59 ||
          ms < 0) {
        throw ServerError(
            ServerMessage{3620, 16, 1, "Invalid time '" + text + "' given in WAITFOR.\n"});
      }
      return WaitForStatement{((h * 60LL + m) * 60 + sec) * 1000 + ms};
    }
    if (word == "begin" || word == "commit" || word == "rollback") {
      Next();
      if (word == "begin" && !IsWord("tran") && !IsWord("transaction")) Fail();
      if (!EatWord("tran")) EatWord("transaction");
      if (Peek().kind == TokenKind::kWord && !StartsStatement(Lower(Peek().text)) &&
          !IsReserved(Lower(Peek().text))) {
        Next();  // transaction name
      }
      return TransactionStatement{word};
    }
    Fail();
  }

  void SkipToStatementEnd() {
    while (Peek().kind != TokenKind::kEnd && !IsSymbol(";") &&
           !(Peek().kind == TokenKind::kWord && StartsStatement(Lower(Peek().text)))) {
      ++pos_;
    }
  }

  // An isolation level: 0 to 3 or its name (READ UNCOMMITTED, READ COMMITTED,
  // REPEATABLE READ, SERIALIZABLE).
  int IsolationLevel() {
    if (Peek().kind == TokenKind::kNumber) {
      const std::string& text = Peek().text;
      if (text.size() != 1 || text[0] < '0' || text[0] > '3') Fail();
      Next();
      return text[0] - '0';
    }
    if (EatWord("read")) {
      if (EatWord("uncommitted")) return 0;
      ExpectWord("committed");
      return 1;
    }
    if (EatWord("repeatable")) {
      ExpectWord("read");
      return 2;
    }
    ExpectWord("serializable");
    return 3;
  }

  SetStatement Set() {
    Next();
    SetStatement s;
    if (Peek().kind != TokenKind::kWord) Fail();
    s.option = Lower(Next().text);
    if (s.option == "transaction") {
      ExpectWord("isolation");
      ExpectWord("level");
      s.value = std::to_string(IsolationLevel());
      return s;
    }
    if (Peek().kind == TokenKind::kNumber || Peek().kind == TokenKind::kWord) {
      s.value = Lower(Peek().text);
    }
    SkipToStatementEnd();
    return s;
  }

  Literal ParseLiteral() {
    Literal lit;
    const Token& t = Peek();
    if (t.kind == TokenKind::kWord && Lower(t.text) == "null") {
      Next();
      lit.kind = Literal::Kind::kNull;
      return lit;
    }
    if (t.kind == TokenKind::kString) {
      lit.kind = Literal::Kind::kString;
      lit.text = Next().text;
      // 'a' + 'b' + char(10): constant strings joined, so that a client can
      // write a backslash before a line break without it continuing the string.
      while (IsSymbol("+")) {
        if (Peek(1).kind == TokenKind::kString) {
          Next();
          lit.text += Next().text;
        } else if (Peek(1).kind == TokenKind::kWord && Lower(Peek(1).text) == "char" &&
                   Peek(2).kind == TokenKind::kSymbol && Peek(2).text == "(") {
          pos_ += 3;
          if (Peek().kind != TokenKind::kNumber ||
              Peek().text.find_first_not_of("0123456789") != std::string::npos ||
              Peek().text.size() > 3 || std::stoi(Peek().text) > 127) {
            Fail();
          }
          lit.text += static_cast<char>(std::stoi(Next().text));
          ExpectSymbol(")");
        } else {
          Fail();
        }
      }
      return lit;
    }
    if (t.kind == TokenKind::kHex) {
      lit.kind = Literal::Kind::kBinary;
      lit.text = Next().text;
      return lit;
    }
    std::string sign;
    if (IsSymbol("-") || IsSymbol("+")) {
      if (Next().text == "-") sign = "-";
    }
    if (Peek().kind != TokenKind::kNumber) Fail();
    const std::string digits = Next().text;
    lit.text = sign + digits;
    if (digits.find_first_of("eE") != std::string::npos) {
      lit.kind = Literal::Kind::kFloat;
    } else if (digits.find('.') != std::string::npos) {
      lit.kind = Literal::Kind::kDecimal;
    } else {
      lit.kind = Literal::Kind::kInteger;
    }
    return lit;
  }

  bool IsLiteralStart() const {
    const Token& t = Peek();
    return t.kind == TokenKind::kString || t.kind == TokenKind::kHex ||
           t.kind == TokenKind::kNumber || IsSymbol("-") || IsSymbol("+") || IsWord("null");
  }

  SelectItem ParseSelectItem() {
    SelectItem item;
    const Token& t = Peek();
    if (IsSymbol("*")) {
      Next();
      item.kind = SelectItem::Kind::kStar;
      return item;
    }
    if (t.kind == TokenKind::kGlobal) {
      item.kind = SelectItem::Kind::kGlobal;
      item.name = Lower(Next().text);
    } else if (IsLiteralStart()) {
      item.kind = SelectItem::Kind::kLiteral;
      item.literal = ParseLiteral();
    } else if (t.kind == TokenKind::kWord && Peek(1).kind == TokenKind::kSymbol &&
               Peek(1).text == "(") {
      const std::string fn = Lower(Next().text);
      Next();
      if (fn == "count") {
        if (!EatSymbol("*")) Name();
        ExpectSymbol(")");
        item.kind = SelectItem::Kind::kCountStar;
        item.name = fn;
      } else {
        ExpectSymbol(")");
        item.kind = SelectItem::Kind::kFunction;
        item.name = fn;
      }
    } else {
      item.kind = SelectItem::Kind::kColumn;
      item.name = Name();
      if (IsSymbol(".")) {  // table.column: keep the column
        Next();
        item.name = Name();
      }
    }
    if (EatWord("as")) {
      item.alias = Peek().kind == TokenKind::kString ? Next().text : Name();
    } else if ((Peek().kind == TokenKind::kWord && !IsReserved(Lower(Peek().text)) &&
                !StartsStatement(Lower(Peek().text))) ||
               Peek().kind == TokenKind::kQuotedName) {
      item.alias = Name();
    }
    return item;
  }

  std::vector<Condition> Where() {
    std::vector<Condition> out;
    if (!EatWord("where")) return out;
    do {
      Condition c;
      c.column = Name();
      if (EatWord("is")) {
        c.op = EatWord("not") ? Condition::Op::kIsNotNull : Condition::Op::kIsNull;
        ExpectWord("null");
      } else if (EatWord("in")) {
        c.op = Condition::Op::kIn;
        ExpectSymbol("(");
        do {
          c.values.push_back(ParseLiteral());
        } while (EatSymbol(","));
        ExpectSymbol(")");
      } else {
        const Token& op = Next();
        if (op.kind != TokenKind::kSymbol) Fail();
        if (op.text == "=")
          c.op = Condition::Op::kEq;
        else if (op.text == "<>" || op.text == "!=")
          c.op = Condition::Op::kNe;
        else if (op.text == "<")
          c.op = Condition::Op::kLt;
        else if (op.text == "<=")
          c.op = Condition::Op::kLe;
        else if (op.text == ">")
          c.op = Condition::Op::kGt;
        else if (op.text == ">=")
          c.op = Condition::Op::kGe;
        else {
          --pos_;
          Fail();
        }
        c.values.push_back(ParseLiteral());
      }
      out.push_back(std::move(c));
    } while (EatWord("and"));
    return out;
  }

  SelectStatement Select() {
    Next();
    SelectStatement s;
    do {
      s.items.push_back(ParseSelectItem());
    } while (EatSymbol(","));
    if (EatWord("from")) {
      s.table = TableName();
      if (EatWord("holdlock")) {
        s.isolation = 3;
      } else if (EatWord("noholdlock")) {
        s.isolation = 1;
      }
      s.where = Where();
      if (EatWord("order")) {
        ExpectWord("by");
        do {
          OrderKey key;
          key.column = Name();
          if (EatWord("desc"))
            key.descending = true;
          else
            EatWord("asc");
          s.order_by.push_back(std::move(key));
        } while (EatSymbol(","));
      }
      if (IsWord("at") && IsWord("isolation", 1)) {
        pos_ += 2;
        s.isolation = IsolationLevel();
      }
    }
    return s;
  }

  InsertStatement Insert() {
    Next();
    EatWord("into");
    InsertStatement s;
    s.table = TableName();
    if (EatSymbol("(")) {
      do {
        s.columns.push_back(Name());
      } while (EatSymbol(","));
      ExpectSymbol(")");
    }
    ExpectWord("values");
    ExpectSymbol("(");
    do {
      s.values.push_back(ParseLiteral());
    } while (EatSymbol(","));
    ExpectSymbol(")");
    return s;
  }

  DeleteStatement Delete() {
    Next();
    EatWord("from");
    DeleteStatement d;
    d.table = TableName();
    d.where = Where();
    return d;
  }

  int SmallNumber() {
    if (Peek().kind != TokenKind::kNumber) Fail();
    const std::string& text = Peek().text;
    if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) Fail();
    Next();
    return std::stoi(text);
  }

  ColumnDefinition Column() {
    ColumnDefinition col;
    col.name = Name();
    if (Peek().kind != TokenKind::kWord) Fail();
    std::string type_name = Lower(Peek().text);
    if (type_name == "double" && IsWord("precision", 1)) {
      Next();
      type_name = "double precision";
    }
    auto kind = TypeKindFromName(type_name);
    if (!kind) {
      // ASE: "Type name 'x' not found."
      throw ServerError(ServerMessage{2715, 16, 1, "Can't find type '" + Peek().text + "'.\n"});
    }
    Next();
    col.type.kind = *kind;
    if (TakesLength(*kind)) {
      col.type.length = 1;
      if (EatSymbol("(")) {
        col.type.length = SmallNumber();
        ExpectSymbol(")");
      }
    } else if (TakesPrecision(*kind)) {
      col.type.precision = 18;
      col.type.scale = 0;
      if (EatSymbol("(")) {
        col.type.precision = SmallNumber();
        if (EatSymbol(",")) col.type.scale = SmallNumber();
        ExpectSymbol(")");
      }
    } else if (*kind == TypeKind::kFloat && type_name == "float" && EatSymbol("(")) {
      // float(p): below 16 bits of precision ASE makes it a real.
      if (SmallNumber() < 16) col.type.kind = TypeKind::kReal;
      ExpectSymbol(")");
    }
    if (EatWord("null")) {
      col.nullable = true;
    } else if (EatWord("not")) {
      ExpectWord("null");
      col.nullable = false;
    }
    return col;
  }

  CreateTableStatement CreateTable() {
    Next();
    ExpectWord("table");
    CreateTableStatement s;
    s.table = TableName();
    ExpectSymbol("(");
    std::vector<std::string> key;
    do {
      if (IsWord("constraint") || IsWord("primary")) {
        if (!key.empty()) Fail();  // one primary key a table
        key = PrimaryKey();
      } else {
        s.columns.push_back(Column());
      }
    } while (EatSymbol(","));
    ExpectSymbol(")");
    for (std::size_t k = 0; k < key.size(); ++k) {
      auto col = std::find_if(s.columns.begin(), s.columns.end(),
                              [&](const ColumnDefinition& c) { return c.name == key[k]; });
      if (col == s.columns.end()) {
        throw ServerError(ServerMessage{207, 16, 4, "Invalid column name '" + key[k] + "'.\n"});
      }
      col->key_position = static_cast<int>(k) + 1;
    }
    return s;
  }

  // [CONSTRAINT name] PRIMARY KEY [CLUSTERED | NONCLUSTERED] (column, ...): the
  // key's columns in order (ASE Reference Manual, "create table").
  std::vector<std::string> PrimaryKey() {
    if (EatWord("constraint")) Name();
    ExpectWord("primary");
    ExpectWord("key");
    if (!EatWord("clustered")) EatWord("nonclustered");
    ExpectSymbol("(");
    std::vector<std::string> key;
    do {
      key.push_back(Name());
    } while (EatSymbol(","));
    ExpectSymbol(")");
    return key;
  }

  std::string_view batch_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<ParsedStatement> ParseBatch(std::string_view batch, bool quoted_identifier) {
  Parser parser(batch, Tokenize(batch, quoted_identifier));
  return parser.Batch();
}

}  // namespace vq::ase_server
