#include "sql_tool.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "dataaccess/connection_string.h"
#include "dataaccess/error_report.h"
#include "dataaccess/session.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/office_crypto.h"
#include "jet/table_outline.h"
#include "json_lines.h"

namespace vq::tools {
namespace {

constexpr const char* kUsage =
    "usage: vellquist-sql --connect CONNECTION-STRING [--cursor-location client|server]\n"
    "                     (--tables | --schema TABLE | --query SQL | --execute SQL |\n"
    "                      --script FILE)...\n"
    "       vellquist-sql --create PATH [--format jet4|jet4-2000|jet3|ace12] [--password P]\n"
    "                     [--code-page N] [--connect ...] [actions...]\n"
    "  --create PATH  makes a new, empty Access database (jet4: Access 2002-2003 .mdb,\n"
    "                 the default; jet4-2000: Access 2000 .mdb; jet3: Access 97 .mdb;\n"
    "                 ace12: Access 2007 .accdb)\n"
    "                 and, without --connect, runs the actions on it\n"
    "  --code-page N  the Windows code page a new Access 97 file (jet3) keeps text in:\n"
    "                 874 or 1250 to 1258 (default 1252)\n"
    "  --tables       one line per tables-catalogue row: TABLE_NAME, a tab, TABLE_TYPE\n"
    "  --schema TABLE the shape of an Access table, one item a line: TABLE [name], then\n"
    "                 COLUMN [name] TYPE [NOT NULL] in column order (Jet SQL types:\n"
    "                 TEXT(n), DECIMAL(p,s), COUNTER, LONGTEXT, ...), INDEX [name]\n"
    "                 [PRIMARY KEY|FOREIGN KEY] [UNIQUE] [IGNORE NULLS] [REQUIRED]\n"
    "                 ([column] ASC|DESC, ...) by name, and RELATIONSHIP [name]\n"
    "                 [child]([column], ...) REFERENCES [parent]([column], ...)\n"
    "                 ENFORCED|NOT ENFORCED [CASCADE UPDATES] [CASCADE DELETES] by name\n"
    "  --query SQL    a JSON header {\"columns\":[...],\"count\":N}, then one JSON array per row\n"
    "  --execute SQL  runs one statement and prints nothing\n"
    "  --script FILE  runs each line of FILE as with --execute; blank lines and lines\n"
    "                 starting with -- are skipped, a trailing ; is allowed\n"
    "Actions run in the order given, on one connection. On a failure the tool stops\n"
    "and prints \"error NUMBER: DESCRIPTION\" on standard error (with \" (line N)\" for\n"
    "a script line), with exit status 1.\n"
    "\n"
    "       vellquist-sql --encrypt FILE --scheme SCHEME --password PASSWORD [--spin-count N]\n"
    "  encrypts the plain .accdb FILE in place with PASSWORD, as Access's \"Encrypt with\n"
    "  Password\" does. SCHEME: rc4-40 .. rc4-128 (RC4 CryptoAPI), standard-aes128|192|256,\n"
    "  nonstandard-aes128|192|256, agile-aes128|192|256-sha1|sha256|sha384|sha512 (what\n"
    "  Access 2010 and later write: agile-aes256-sha512). N: the agile hash rounds\n"
    "  (100000 unless given).\n";

// One statement of a script, with the line it stands on (from 1).
struct ScriptLine {
  int number;
  std::string sql;
};

// One action from the command line.
struct Action {
  enum Kind { kTables, kSchema, kQuery, kExecute, kScript } kind;
  std::string sql;
  std::vector<ScriptLine> script;  // kScript
};

// The statements of a script: one per line, blanks around it and one trailing
// ";" removed, blank lines and "--" comment lines left out. A UTF-8 byte-order
// mark before the first line is ignored, and so is a "\r" before a line break.
std::vector<ScriptLine> SplitScript(const std::string& text) {
  std::vector<ScriptLine> lines;
  std::istringstream in(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line.compare(first, 2, "--") == 0) continue;
    line.erase(line.find_last_not_of(" \t\r") + 1);
    if (line.back() == ';') {
      line.pop_back();
      line.erase(line.find_last_not_of(" \t\r") + 1);
      if (line.size() <= first) continue;  // a lone ";"
    }
    lines.push_back({number, line.substr(first)});
  }
  return lines;
}

struct Options {
  std::optional<std::string> connect;
  std::optional<std::string> create;  // a new database to make first
  jet::NewFormat format = jet::NewFormat::kAccess2003;
  bool format_given = false;
  std::optional<std::string> password;
  std::optional<uint16_t> code_page;  // of a new Access 97 file
  int cursor_location = kAdUseServer;
  std::vector<Action> actions;
};

// Parses `args` into `options`; on a usage error returns the message.
std::optional<std::string> ParseArguments(const std::vector<std::string>& args, Options& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inline_value;
    if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    if (name == "--tables") {
      if (inline_value) return "--tables takes no value";
      options.actions.push_back({Action::kTables, {}, {}});
    } else if (name == "--connect" || name == "--query" || name == "--execute" ||
               name == "--script" || name == "--cursor-location" || name == "--create" ||
               name == "--format" || name == "--password" || name == "--schema" ||
               name == "--code-page") {
      auto v = value();
      if (!v) return name + " needs a value";
      if (name == "--create") {
        if (options.create) return "--create given twice";
        if (v->empty()) return "--create needs a file name";
        options.create = *v;
      } else if (name == "--format") {
        if (options.format_given) return "--format given twice";
        options.format_given = true;
        if (*v == "jet4") {
          options.format = jet::NewFormat::kAccess2003;
        } else if (*v == "jet4-2000") {
          options.format = jet::NewFormat::kAccess2000;
        } else if (*v == "jet3") {
          options.format = jet::NewFormat::kAccess97;
        } else if (*v == "ace12") {
          options.format = jet::NewFormat::kAccess2007;
        } else {
          return "--format takes jet4, jet4-2000, jet3 or ace12, not \"" + *v + "\"";
        }
      } else if (name == "--code-page") {
        if (options.code_page) return "--code-page given twice";
        const bool digits = !v->empty() && v->size() <= 5 &&
                            v->find_first_not_of("0123456789") == std::string::npos;
        if (!digits || std::stoul(*v) > 0xFFFF)
          return "--code-page takes a number, not \"" + *v + "\"";
        options.code_page = static_cast<uint16_t>(std::stoul(*v));
      } else if (name == "--password") {
        if (options.password) return "--password given twice";
        options.password = *v;
      } else if (name == "--connect") {
        if (options.connect) return "--connect given twice";
        options.connect = *v;
      } else if (name == "--query") {
        options.actions.push_back({Action::kQuery, *v, {}});
      } else if (name == "--schema") {
        options.actions.push_back({Action::kSchema, *v, {}});
      } else if (name == "--execute") {
        options.actions.push_back({Action::kExecute, *v, {}});
      } else if (name == "--script") {
        // Read now, so an unreadable file is a usage error and nothing has run.
        std::error_code ec;
        std::ifstream file;
        if (std::filesystem::is_regular_file(*v, ec)) file.open(*v, std::ios::binary);
        std::string text;
        if (file) text.assign(std::istreambuf_iterator<char>(file), {});
        if (!file.is_open() || file.bad()) return "cannot read the script \"" + *v + "\"";
        options.actions.push_back({Action::kScript, *v, SplitScript(text)});
      } else if (*v == "client") {
        options.cursor_location = kAdUseClient;
      } else if (*v == "server") {
        options.cursor_location = kAdUseServer;
      } else {
        return "--cursor-location takes client or server, not \"" + *v + "\"";
      }
    } else {
      return "unknown option \"" + args[i] + "\"";
    }
  }
  if (!options.create) {
    if (options.format_given || options.password || options.code_page)
      return "--format, --password and --code-page need --create";
    if (!options.connect) return "--connect is required";
  }
  if (options.code_page && options.format != jet::NewFormat::kAccess97)
    return "--code-page is for Access 97 files only (--format jet3)";
  if (options.create && !options.connect && options.create->find(';') != std::string::npos)
    return "a file name with \";\" cannot be opened without --connect";
  if (options.actions.empty() && !options.create) {
    return "nothing to do: give --tables, --schema, --query, --execute or --script";
  }
  return std::nullopt;
}

void PrintTables(DatabaseSession& db, std::ostream& out) {
  RecordSet rs = db.OpenSchema(kAdSchemaTables);
  while (!rs.Eof()) {
    out << ToText(rs.Fields().Item("TABLE_NAME").Value()) << '\t'
        << ToText(rs.Fields().Item("TABLE_TYPE").Value()) << '\n';
    rs.MoveNext();
  }
  rs.Close();
}

// The outline of an Access table. The engine keeps one open database per
// file, so this shares the session's, changes of earlier actions included.
void PrintSchema(const std::string& connection, const std::string& table, std::ostream& out) {
  const ConnectionString cs =
      ConnectionString::Parse(connection, {"Provider", "Data Source", "Jet OLEDB:Database Password",
                                           "User ID", "Password", "Mode", "Persist Security Info",
                                           "Jet OLEDB:Engine Type", "Jet OLEDB:System database"});
  std::string provider = cs.GetOr("Provider", "");
  std::transform(provider.begin(), provider.end(), provider.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (provider.rfind("microsoft.jet.oledb.", 0) != 0 &&
      provider.rfind("microsoft.ace.oledb.", 0) != 0)
    throw DatabaseError(errors::kInvalidArgument,
                        "--schema describes tables of Access databases only; connect to an "
                        "Access file to use it.");
  auto db =
      jet::Database::Open(cs.GetOr("Data Source", ""), cs.GetOr("Jet OLEDB:Database Password", ""));
  out << jet::OutlineTable(*db, table);
}

// Prints the header and then each row as it is read, so a large result is
// never held whole.
void PrintQuery(DatabaseSession& db, const std::string& sql, std::ostream& out) {
  RecordSet rs;
  rs.Open(sql, db);
  const int count = rs.Fields().Count();
  std::vector<FieldInfo> columns;
  for (int i = 0; i < count; ++i) columns.push_back(rs.Fields().Item(i).Info());
  out << JsonHeaderLine(columns, rs.RecordCount()) << '\n';
  // Lines gather in one buffer that goes out in pieces of about this size:
  // one write per line would cost more than making the line.
  constexpr size_t kFlushAt = 64 * 1024;
  std::string lines;
  auto flush = [&] {
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    lines.clear();
  };
  size_t complete = 0;  // the bytes of `lines` that end a whole row
  try {
    std::vector<Field> fields;
    for (int i = 0; i < count; ++i) fields.push_back(rs.Fields().Item(i));
    while (!rs.Eof()) {
      // Values are read in place and appended where they go: no copy per value.
      lines.push_back('[');
      for (int i = 0; i < count; ++i) {
        if (i > 0) lines.push_back(',');
        AppendJsonValue(lines, fields[i].Value());
      }
      lines += "]\n";
      complete = lines.size();
      if (complete >= kFlushAt) {
        flush();
        complete = 0;
      }
      rs.MoveNext();
    }
  } catch (...) {
    // The rows before a failing one are printed, as they were read; nothing
    // of the failing row is.
    lines.resize(complete);
    flush();
    throw;
  }
  flush();
  rs.Close();
}

// A description on one line: line breaks inside it become blanks.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

// The statements a failed save undid, the last `lost` of `done` (each a
// script line number, or 0 for an --execute statement), and where the file
// now ends, for the error line.
std::string LostStatements(const std::vector<int>& done, int64_t lost) {
  if (lost <= 0 || done.empty()) return "";
  const size_t n = std::min(static_cast<size_t>(lost), done.size());
  const size_t first = done.size() - n;
  auto name = [](int line) {
    return line > 0 ? "line " + std::to_string(line) : std::string("--execute");
  };
  std::string text = "not saved: " + name(done[first]);
  if (n > 1) text += " to " + name(done.back());
  text += first > 0 ? "; the file holds the changes up to " + name(done[first - 1])
                    : "; the file holds none of this run's changes";
  return text;
}

// --encrypt FILE --scheme SCHEME --password PASSWORD [--spin-count N]: a
// file operation of the Access engine, outside any connection.
int RunEncrypt(const std::vector<std::string>& args, std::ostream& err) {
  std::optional<std::string> file, scheme, password;
  std::optional<uint32_t> spin_count;
  auto usage = [&](const std::string& problem) {
    err << "vellquist-sql: " << problem << '\n' << kUsage;
    return kExitUsage;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return usage(args[i] + " needs a value");
    const std::string& name = args[i];
    const std::string& v = args[++i];
    if (name == "--encrypt") {
      file = v;
    } else if (name == "--scheme") {
      scheme = v;
    } else if (name == "--password") {
      password = v;
    } else if (name == "--spin-count") {
      if (v.empty() || v.size() > 8 || v.find_first_not_of("0123456789") != std::string::npos)
        return usage("--spin-count takes a number up to 10000000");
      spin_count = static_cast<uint32_t>(std::stoul(v));
    } else {
      return usage("unknown option \"" + name + "\" with --encrypt");
    }
  }
  if (!file || !scheme || !password) return usage("--encrypt needs --scheme and --password");
  if (password->empty()) return usage("--password must not be empty");
  try {
    jet::EncryptionSettings settings = jet::EncryptionSettingsNamed(*scheme);
    if (spin_count) settings.spin_count = *spin_count;
    jet::EncryptAccessFile(*file, settings, *password);
  } catch (const jet::JetError& e) {
    err << "error " << e.Number() << ": " << OneLine(e.what()) << '\n';
    return kExitDatabaseError;
  }
  return kExitOk;
}

}  // namespace

int RunVellquistSql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return kExitOk;
  }
  if (!args.empty() && args[0] == "--encrypt") return RunEncrypt(args, err);
  Options options;
  if (auto problem = ParseArguments(args, options)) {
    err << "vellquist-sql: " << *problem << '\n' << kUsage;
    return kExitUsage;
  }
  int failed_line = 0;  // the script line that failed, 0 for anything else
  // The changing statements run so far (script line numbers, 0 for
  // --execute), so a failed save can say which of them it lost.
  std::vector<int> done;
  try {
    if (options.create) {
      const std::string password = options.password.value_or("");
      jet::Database::Create(*options.create, options.format, password,
                            options.code_page.value_or(1252));
      if (options.actions.empty()) return kExitOk;
      if (!options.connect) {
        const bool ace = options.format == jet::NewFormat::kAccess2007;
        options.connect = std::string("PROVIDER=") +
                          (ace ? "Microsoft.ACE.OLEDB.12.0" : "Microsoft.Jet.OLEDB.4.0") +
                          ";Data Source=" + *options.create +
                          ";JET OLEDB:Database Password=" + password;
      }
    }
    DatabaseSession db;
    db.SetCursorLocation(options.cursor_location);
    db.Open(*options.connect);
    for (const Action& action : options.actions) {
      switch (action.kind) {
        case Action::kTables:
          PrintTables(db, out);
          break;
        case Action::kSchema:
          PrintSchema(*options.connect, action.sql, out);
          break;
        case Action::kQuery:
          PrintQuery(db, action.sql, out);
          break;
        case Action::kExecute:
          failed_line = 0;
          done.push_back(0);
          db.Execute(action.sql);
          break;
        case Action::kScript:
          for (const ScriptLine& line : action.script) {
            failed_line = line.number;
            done.push_back(line.number);
            db.Execute(line.sql);
          }
          failed_line = 0;
          break;
      }
    }
    failed_line = 0;
    done.push_back(-1);  // Close runs no statement of its own
    db.Close();
    out.flush();
    return kExitOk;
  } catch (const jet::JetError& e) {
    // Only making a database and --schema reach the engine directly.
    out.flush();
    err << "error " << e.Number() << ": " << OneLine(e.what()) << '\n';
    return kExitDatabaseError;
  } catch (...) {
    int32_t number = 0;
    std::string description;
    DescribeCurrentException(number, description);
    // A failed save names the statements it lost; a statement that failed
    // on its own is not among those that ran.
    std::string lost;
    try {
      throw;
    } catch (const DatabaseNotWritable& e) {
      if (!done.empty() && done.back() < 0) done.pop_back();
      lost = LostStatements(done, e.LostStatements());
    } catch (...) {
    }
    out.flush();
    err << "error " << number << ": " << OneLine(description);
    if (failed_line > 0 && !lost.empty()) {
      err << " (line " << failed_line << "; " << lost << ")";
    } else if (failed_line > 0) {
      err << " (line " << failed_line << ")";
    } else if (!lost.empty()) {
      err << " (" << lost << ")";
    }
    err << '\n';
    return kExitDatabaseError;
  }
}

}  // namespace vq::tools
