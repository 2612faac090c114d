// What the benchmarks against an ASE server share: where the server is, the
// smallest ct-lib client as a yardstick, and the INSERT texts the transfer to
// ASE sends for an Access table, built with its own rules.
#pragma once

#include <ctpublic.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataaccess/session.h"
#include "dataaccess/type_names.h"
#include "dataaccess/value.h"
#include "transfer/statement_text.h"

namespace vq::bench {

// Where the benchmark connects to.
struct Server {
  std::string host, port, user, password, database;
};

// The connection string of an Access file without a password.
inline std::string AccessString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Jet OLEDB:Database Password=";
}

// The statements the transfer to ASE sends for table Bench of `file`, built
// with its own column and literal rules: the CREATE TABLE, then each INSERT.
inline std::vector<std::string> AseStatements(const std::string& file) {
  vq::DatabaseSession db;
  db.Open(AccessString(file));
  vq::RecordSet rs;
  rs.Open("SELECT * FROM `Bench`", db);
  const vq::Fields fields = rs.Fields();
  const int n = fields.Count();
  std::vector<vq::AseColumnKind> kinds;
  std::string create = "CREATE TABLE [Bench](";
  for (int k = 0; k < n; ++k) {
    const auto code = static_cast<int16_t>(fields.Item(k).Type());
    const vq::AseColumn c = vq::AseColumnFor(vq::LowerCase(vq::DataTypeName(code).value_or("")));
    kinds.push_back(c.kind);
    create += "[" + fields.Item(k).Name() + "]" + c.suffix;
  }
  create.back() = ')';
  std::vector<std::string> out{create};
  for (; !rs.Eof(); rs.MoveNext()) {
    std::string sql = "INSERT INTO [Bench] VALUES(";
    for (int k = 0; k < n; ++k) {
      if (k) sql += ", ";
      sql += vq::AseLiteral(kinds[k], fields.Item(k).Value());
    }
    out.push_back(sql + ")");
  }
  return out;
}

// The smallest ct-lib client: one connection, language commands, every
// result read to its end and thrown away.
class RawLink {
 public:
  explicit RawLink(const Server& s) {
    Check(cs_ctx_alloc(CS_VERSION_100, &ctx_), "cs_ctx_alloc");
    Check(ct_init(ctx_, CS_VERSION_100), "ct_init");
    Check(ct_con_alloc(ctx_, &con_), "ct_con_alloc");
    CS_INT tds = CS_TDS_50;
    Check(ct_con_props(con_, CS_SET, CS_TDS_VERSION, &tds, CS_UNUSED, nullptr), "TDS 5.0");
    Set(CS_USERNAME, s.user);
    Set(CS_PASSWORD, s.password);
    Set(CS_CLIENTCHARSET, "UTF-8");
    const std::string address = s.host + ":" + s.port;
    Check(ct_connect(con_, const_cast<char*>(address.c_str()), CS_NULLTERM), "ct_connect");
    Check(ct_cmd_alloc(con_, &cmd_), "ct_cmd_alloc");
    Run("use " + s.database);
  }
  ~RawLink() {
    ct_cmd_drop(cmd_);
    ct_close(con_, CS_UNUSED);
    ct_con_drop(con_);
    ct_exit(ctx_, CS_FORCE_EXIT);
    cs_ctx_drop(ctx_);
  }

  // Sends one statement and reads its results; false when the server refused it.
  bool Run(const std::string& sql) {
    Check(ct_command(cmd_, CS_LANG_CMD, const_cast<char*>(sql.data()),
                     static_cast<CS_INT>(sql.size()), CS_UNUSED),
          "ct_command");
    Check(ct_send(cmd_), "ct_send");
    bool ok = true;
    CS_INT type = 0;
    CS_RETCODE rc;
    while ((rc = ct_results(cmd_, &type)) == CS_SUCCEED) {
      if (type == CS_CMD_FAIL) ok = false;
      if (type == CS_ROW_RESULT) ct_cancel(nullptr, cmd_, CS_CANCEL_CURRENT);
    }
    return ok && rc == CS_END_RESULTS;
  }

 private:
  static void Check(CS_RETCODE rc, const char* what) {
    if (rc != CS_SUCCEED) throw std::runtime_error(std::string("ct-lib: ") + what + " failed");
  }
  void Set(CS_INT property, const std::string& value) {
    Check(ct_con_props(con_, CS_SET, property, const_cast<char*>(value.c_str()), CS_NULLTERM,
                       nullptr),
          "a connection property");
  }

  CS_CONTEXT* ctx_ = nullptr;
  CS_CONNECTION* con_ = nullptr;
  CS_COMMAND* cmd_ = nullptr;
};

// The rows of table Bench as the server counts them.
inline int64_t CountOnServer(const std::string& ase) {
  vq::DatabaseSession db;
  db.Open(ase);
  vq::RecordSet rs;
  rs.Open("SELECT count(*) FROM [Bench]", db);
  return std::get<int64_t>(rs.Fields().Item(0).Value());
}

}  // namespace vq::bench
