#include "ase/ase_ctlib.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "ase/ase_result_internal.h"
#include "ase/ase_statement.h"

namespace vq::ase::detail {
namespace {

// FreeTDS reports its own (libtds) numbers in CS_CLIENTMSG.msgnumber.
constexpr int kLibTimeout = 20003;
// A statement's text held characters the server's character set cannot hold
// (an iso_1 server and a "€"). The library does not replace them: it sends
// the statement cut short before the first one, which must never count as
// the statement the caller wrote, even if the server happens to accept it.
constexpr int kLibUnconvertible = 2402;
// The other way: a value the server sent held bytes that are not characters
// of their own character set (a univarchar holding half of a surrogate pair,
// say), and the library put '?' in their place (2403) or gave up on the rest
// (2404). Such a value must not be read as if it had arrived whole.
constexpr int kLibResultUnconvertible = 2403;
constexpr int kLibResultUnconvertibleRest = 2404;

std::string Text(const char* s, CS_INT len) {
  if (s == nullptr) return {};
  size_t n = len >= 0 ? static_cast<size_t>(len) : std::strlen(s);
  return std::string(s, strnlen(s, n));
}

Diagnostics* DiagOf(CS_CONNECTION* con) {
  if (con == nullptr) return nullptr;
  Diagnostics* diag = nullptr;
  CS_INT out = 0;
  if (ct_con_props(con, CS_GET, CS_USERDATA, &diag, sizeof diag, &out) != CS_SUCCEED)
    return nullptr;
  return diag;
}

CS_RETCODE ClientMessage(CS_CONTEXT*, CS_CONNECTION* con, CS_CLIENTMSG* msg) {
  Diagnostics* diag = DiagOf(con);
  if (diag == nullptr || msg == nullptr) return CS_SUCCEED;
  if (msg->msgnumber == kLibTimeout) {
    // During the login the caller's own deadline decides; the library is left waiting.
    if (diag->in_login) return CS_SUCCEED;
    diag->timed_out = true;
    if (++diag->timeout_calls == 1) {
      // Ask the server to stop; the library then ends the results as cancelled.
      ct_cancel(con, nullptr, CS_CANCEL_ATTN);
      return CS_SUCCEED;
    }
    // The server ignored the cancel too: give the connection up.
    diag->broken = true;
    return CS_FAIL;
  }
  if (msg->msgnumber == kLibUnconvertible) diag->unconvertible = true;
  if (msg->msgnumber == kLibResultUnconvertible || msg->msgnumber == kLibResultUnconvertibleRest) {
    // The row being read answers for it (see ActiveResult); it explains no
    // later failure.
    diag->lost_characters = true;
    return CS_SUCCEED;
  }
  Diagnostics::Message m;
  m.number = msg->msgnumber;
  m.severity = msg->severity;
  m.text = Text(msg->msgstring, msg->msgstringlen);
  std::string os = Text(msg->osstring, msg->osstringlen);
  if (!os.empty()) m.text += " (" + os + ")";
  diag->errors.push_back(std::move(m));
  return CS_SUCCEED;
}

CS_RETCODE ServerMessage(CS_CONTEXT*, CS_CONNECTION* con, CS_SERVERMSG* msg) {
  Diagnostics* diag = DiagOf(con);
  if (diag == nullptr || msg == nullptr) return CS_SUCCEED;
  if (msg->severity <= 10) return CS_SUCCEED;  // information: database changed, language, ...
  Diagnostics::Message m;
  m.from_server = true;
  m.number = msg->msgnumber;
  m.severity = msg->severity;
  m.state = msg->state;
  m.text = Text(msg->text, msg->textlen);
  if (m.number == 4002) diag->login_refused = true;
  diag->errors.push_back(std::move(m));
  return CS_SUCCEED;
}

CS_INT Seconds(std::chrono::milliseconds ms) {
  auto s = std::chrono::duration_cast<std::chrono::seconds>(ms + std::chrono::milliseconds(999));
  return static_cast<CS_INT>(std::max<int64_t>(1, s.count()));
}

void Check(CS_RETCODE rc, const char* what) {
  if (rc != CS_SUCCEED) {
    throw AseError(ErrorKind::kClient, 0, std::string("the client library refused ") + what);
  }
}

}  // namespace

void Diagnostics::Reset() {
  errors.clear();
  login_refused = false;
  timed_out = false;
  timeout_calls = 0;
  unconvertible = false;
  lost_characters = false;
}

const Diagnostics::Message* Diagnostics::FirstServerError() const {
  for (const auto& m : errors) {
    if (m.from_server) return &m;
  }
  return nullptr;
}

const Diagnostics::Message* Diagnostics::FirstClientMessage() const {
  for (const auto& m : errors) {
    if (!m.from_server) return &m;
  }
  return nullptr;
}

Link::Link(const std::string& server_name, const std::string& user, const std::string& password,
           const std::string& application, std::chrono::milliseconds connect_timeout,
           std::chrono::milliseconds statement_timeout)
    : server_name_(server_name), statement_timeout_(statement_timeout) {
  Check(cs_ctx_alloc(CS_VERSION_100, &ctx_), "a context");
  if (ct_init(ctx_, CS_VERSION_100) != CS_SUCCEED) {
    cs_ctx_drop(ctx_);
    ctx_ = nullptr;
    throw AseError(ErrorKind::kClient, 0, "the client library could not be initialised");
  }
  Check(ct_callback(ctx_, nullptr, CS_SET, CS_CLIENTMSG_CB,
                    reinterpret_cast<CS_VOID*>(&ClientMessage)),
        "the client message handler");
  Check(ct_callback(ctx_, nullptr, CS_SET, CS_SERVERMSG_CB,
                    reinterpret_cast<CS_VOID*>(&ServerMessage)),
        "the server message handler");
  CS_INT login_secs = Seconds(connect_timeout);
  CS_INT stmt_secs = Seconds(statement_timeout);
  Check(ct_config(ctx_, CS_SET, CS_LOGIN_TIMEOUT, &login_secs, CS_UNUSED, nullptr),
        "the login timeout");
  Check(ct_config(ctx_, CS_SET, CS_TIMEOUT, &stmt_secs, CS_UNUSED, nullptr),
        "the statement timeout");
  Check(ct_con_alloc(ctx_, &con_), "a connection");
  Diagnostics* diag = &diag_;
  Check(ct_con_props(con_, CS_SET, CS_USERDATA, &diag, sizeof diag, nullptr), "user data");
  Check(ct_con_props(con_, CS_SET, CS_USERNAME, const_cast<char*>(user.c_str()), CS_NULLTERM,
                     nullptr),
        "the user name");
  Check(ct_con_props(con_, CS_SET, CS_PASSWORD, const_cast<char*>(password.c_str()), CS_NULLTERM,
                     nullptr),
        "the password");
  Check(ct_con_props(con_, CS_SET, CS_APPNAME, const_cast<char*>(application.c_str()), CS_NULLTERM,
                     nullptr),
        "the application name");
  // Pinned: left to the configuration, FreeTDS would first try a TDS 7 login.
  CS_INT version = CS_TDS_50;
  Check(ct_con_props(con_, CS_SET, CS_TDS_VERSION, &version, CS_UNUSED, nullptr),
        "TDS version 5.0");
  // Without this the C locale's ASCII mangles every non-ASCII character.
  Check(ct_con_props(con_, CS_SET, CS_CLIENTCHARSET, const_cast<char*>("UTF-8"), CS_NULLTERM,
                     nullptr),
        "the UTF-8 character set");
}

Link::~Link() {
  Close();
}

void Link::Login() {
  diag_.Reset();
  diag_.in_login = true;
  CS_RETCODE rc = ct_connect(con_, const_cast<char*>(server_name_.c_str()), CS_NULLTERM);
  diag_.in_login = false;
  if (rc == CS_SUCCEED) {
    logged_in_ = true;
    return;
  }
  if (diag_.login_refused) {
    const auto* m = diag_.FirstServerError();
    throw AseError(ErrorKind::kLoginRefused, 4002,
                   "login to server " + server_name_ + " refused: " +
                       (m ? FormatServerMessage(m->number, m->severity, m->state, m->text)
                          : std::string("Login failed.")));
  }
  if (const auto* m = diag_.FirstServerError()) {
    throw AseError(ErrorKind::kServer, m->number,
                   "could not connect to server " + server_name_ + ": " +
                       FormatServerMessage(m->number, m->severity, m->state, m->text));
  }
  const auto* c = diag_.FirstClientMessage();
  throw AseError(ErrorKind::kConnect, c ? c->number : 0,
                 "could not connect to server " + server_name_ + ": " +
                     (c ? c->text : std::string("the client library gave no reason")));
}

CS_COMMAND* Link::Send(std::string_view sql) {
  CheckStatementText(sql);
  CS_COMMAND* cmd = nullptr;
  if (ct_cmd_alloc(con_, &cmd) != CS_SUCCEED) throw Failure("preparing the statement");
  std::string text(sql);
  if (ct_command(cmd, CS_LANG_CMD, text.data(), static_cast<CS_INT>(text.size()), CS_UNUSED) !=
          CS_SUCCEED ||
      ct_send(cmd) != CS_SUCCEED) {
    AseError error = Failure("sending the statement");
    ct_cancel(nullptr, cmd, CS_CANCEL_ALL);
    ct_cmd_drop(cmd);
    throw error;
  }
  return cmd;
}

void Link::Claim() {
  if (!IsOpen()) {
    throw AseError(ErrorKind::kClient, 0, "the connection to " + server_name_ + " is closed");
  }
  if (diag_.broken) {
    throw AseError(ErrorKind::kClient, 0,
                   "the connection to " + server_name_ + " was lost; open it again");
  }
  if (active_ != nullptr) {
    ActiveResult* result = active_;
    result->BufferRest();  // calls Release
    active_ = nullptr;
  }
}

void Link::Release(ActiveResult* result) {
  if (active_ == result) active_ = nullptr;
}

ResultsEnd Link::ReadResults(CS_COMMAND* cmd, bool stop_at_rows) {
  ResultsEnd end;
  CS_INT type = 0;
  CS_RETCODE rc;
  while ((rc = ct_results(cmd, &type)) == CS_SUCCEED) {
    if (type == CS_ROW_RESULT && stop_at_rows && !end.failed) {
      end.at_rows = true;
      return end;
    }
    switch (type) {
      case CS_CMD_FAIL:
        end.failed = true;
        break;
      case CS_ROW_RESULT:
      case CS_COMPUTE_RESULT:
      case CS_PARAM_RESULT:
      case CS_STATUS_RESULT:
      case CS_CURSOR_RESULT:
        if (ct_cancel(nullptr, cmd, CS_CANCEL_CURRENT) != CS_SUCCEED) end.failed = true;
        break;
      default:
        break;
    }
  }
  if (rc != CS_END_RESULTS) {
    end.failed = true;
    if (rc == CS_FAIL && ct_cancel(nullptr, cmd, CS_CANCEL_ALL) != CS_SUCCEED) diag_.broken = true;
  }
  end.failed =
      end.failed || diag_.FirstServerError() != nullptr || diag_.timed_out || diag_.unconvertible;
  return end;
}

void Link::Execute(std::string_view sql) {
  Claim();
  diag_.Reset();
  CS_COMMAND* cmd = Send(sql);
  ResultsEnd end = ReadResults(cmd, false);
  ct_cmd_drop(cmd);
  if (end.failed) throw Failure("the statement");
}

size_t Link::ExecuteBatch(const std::vector<std::string_view>& statements,
                          std::vector<std::optional<AseError>>& outcomes) {
  outcomes.assign(statements.size(), std::nullopt);
  // A statement the library would refuse or mangle goes no further than the
  // ones before it: it is left for the caller to send, and report, on its own.
  size_t count = 0;
  std::string text;
  for (; count < statements.size(); ++count) {
    try {
      CheckStatementText(statements[count]);
    } catch (const AseError&) {
      break;
    }
    if (count > 0) text += '\n';
    text.append(statements[count]);
  }
  if (count == 0) return 0;
  Claim();
  diag_.Reset();
  CS_COMMAND* cmd = Send(text);
  // Each statement ends in a DONE of its own, its messages before it.
  size_t done = 0;
  bool failed = false;
  CS_INT type = 0;
  CS_RETCODE rc;
  while ((rc = ct_results(cmd, &type)) == CS_SUCCEED) {
    switch (type) {
      case CS_CMD_FAIL:
        failed = true;
        break;
      case CS_CMD_DONE:
        if (failed || diag_.FirstServerError() != nullptr || diag_.unconvertible) {
          if (done < count) outcomes[done] = Failure("the statement");
        }
        ++done;
        failed = false;
        diag_.Reset();
        break;
      case CS_ROW_RESULT:
      case CS_COMPUTE_RESULT:
      case CS_PARAM_RESULT:
      case CS_STATUS_RESULT:
      case CS_CURSOR_RESULT:
        if (ct_cancel(nullptr, cmd, CS_CANCEL_CURRENT) != CS_SUCCEED) failed = true;
        break;
      default:
        break;
    }
  }
  const bool ended = rc == CS_END_RESULTS && !diag_.timed_out;
  if (rc == CS_FAIL && ct_cancel(nullptr, cmd, CS_CANCEL_ALL) != CS_SUCCEED) diag_.broken = true;
  ct_cmd_drop(cmd);
  if (done >= count) return count;
  if (!ended) {
    // Cut off (time ran out, the connection failed): the statement under way
    // fails as it would on its own, and the ones after it were not sent.
    outcomes[done] = Failure("the statement");
    return done + 1;
  }
  // The batch was abandoned: the last statement that answered failed, perhaps
  // only because a later one did not compile.
  if (done > 0 && outcomes[done - 1]) --done;
  for (size_t i = done; i < count; ++i) outcomes[i].reset();
  return done;
}

std::shared_ptr<ActiveResult> Link::Query(std::string_view sql) {
  Claim();
  diag_.Reset();
  CS_COMMAND* cmd = Send(sql);
  ResultsEnd end = ReadResults(cmd, true);
  if (end.at_rows) {
    auto result = std::make_shared<ActiveResult>(shared_from_this(), cmd);
    result->Describe();  // on failure the result's destructor drops the command
    active_ = result.get();
    return result;
  }
  ct_cmd_drop(cmd);
  if (end.failed) throw Failure("the query");
  return std::make_shared<ActiveResult>(shared_from_this(), nullptr);
}

void Link::Close() {
  if (active_ != nullptr) {
    active_->Abandon();
    active_ = nullptr;
  }
  if (con_ != nullptr) {
    if (logged_in_) ct_close(con_, diag_.broken ? CS_FORCE_CLOSE : CS_UNUSED);
    ct_con_drop(con_);
    con_ = nullptr;
  }
  logged_in_ = false;
  if (ctx_ != nullptr) {
    ct_exit(ctx_, CS_FORCE_EXIT);
    cs_ctx_drop(ctx_);
    ctx_ = nullptr;
  }
}

AseError Link::Failure(const std::string& action) const {
  // Before the server's answer, which is about the cut statement (an
  // unclosed quote), not the one the caller sent.
  if (diag_.unconvertible) {
    return AseError(ErrorKind::kClient, kLibUnconvertible,
                    action + " holds characters that the character set of server " + server_name_ +
                        " cannot hold: the client library could not convert them and sent it "
                        "cut short before the first one. It counts as failed, and no character "
                        "was replaced by '?'. A server whose character set is utf8 holds every "
                        "character.");
  }
  if (const auto* m = diag_.FirstServerError()) {
    ErrorKind kind = diag_.login_refused ? ErrorKind::kLoginRefused : ErrorKind::kServer;
    return AseError(kind, m->number,
                    FormatServerMessage(m->number, m->severity, m->state, m->text));
  }
  if (diag_.timed_out) {
    auto secs = std::chrono::duration_cast<std::chrono::seconds>(statement_timeout_).count();
    return AseError(ErrorKind::kTimeout, kLibTimeout,
                    "the server " + server_name_ + " did not answer within " +
                        std::to_string(secs) + " seconds; " + action + " was cancelled");
  }
  if (const auto* c = diag_.FirstClientMessage()) {
    return AseError(ErrorKind::kClient, c->number, action + " failed: " + c->text);
  }
  return AseError(ErrorKind::kClient, 0,
                  action + " failed on server " + server_name_ +
                      " and neither the server nor the client library said why");
}

}  // namespace vq::ase::detail
