#include "ase/ase_connection.h"

#include "ase/ase_address.h"
#include "ase/ase_ctlib.h"
#include "ase/ase_deadline.h"
#include "ase/ase_result_internal.h"
#include "ase/ase_statement.h"

namespace vq::ase {
namespace {

// TEXT, UNITEXT and IMAGE values are cut at @@textsize; ask for the largest.
constexpr const char* kWholeTextSize = "set textsize 2147483647";

std::shared_ptr<detail::Link> OpenLink(const ConnectOptions& options,
                                       const std::string& server_name) {
  auto link = std::make_shared<detail::Link>(server_name, options.user, options.password,
                                             options.application, options.connect_timeout,
                                             options.statement_timeout);
  link->Login();
  link->Execute(kWholeTextSize);
  if (!options.database.empty()) {
    try {
      link->Execute("use " + BracketName(options.database));
    } catch (const AseError& e) {
      throw AseError(e.Kind(), e.Number(),
                     "could not use database \"" + options.database + "\" on server " +
                         server_name + ": " + e.what());
    }
  }
  return link;
}

}  // namespace

Connection::Connection(std::shared_ptr<detail::Link> link) : link_(std::move(link)) {}

Connection::~Connection() {
  if (link_) link_->Close();
}

std::unique_ptr<Connection> Connection::Open(const ConnectOptions& options) {
  const std::string server_name = ase::ServerName(ParseServerAddress(options.server));
  if (!options.database.empty()) BracketName(options.database);  // refuse before connecting

  // The whole opening runs on a worker: a host that accepts the connection and
  // then says nothing would hold the login inside FreeTDS for ever.
  auto link = RunWithDeadline<std::shared_ptr<detail::Link>>(
      [options, server_name] { return OpenLink(options, server_name); }, options.connect_timeout);
  if (!link) {
    auto ms = options.connect_timeout.count();
    std::string limit = ms % 1000 == 0 ? std::to_string(ms / 1000) + " seconds"
                                       : std::to_string(ms) + " milliseconds";
    throw AseError(ErrorKind::kTimeout, 0,
                   "could not connect to server " + server_name + ": no answer within " + limit);
  }
  return std::unique_ptr<Connection>(new Connection(std::move(*link)));
}

void Connection::Execute(std::string_view sql) {
  link_->Execute(sql);
}

size_t Connection::ExecuteBatch(const std::vector<std::string_view>& statements,
                                std::vector<std::optional<AseError>>& outcomes) {
  return link_->ExecuteBatch(statements, outcomes);
}

std::unique_ptr<ResultReader> Connection::Query(std::string_view sql) {
  return std::unique_ptr<ResultReader>(new ResultReader(link_->Query(sql)));
}

void Connection::Close() {
  link_->Close();
}

bool Connection::IsOpen() const {
  return link_->IsOpen();
}

const std::string& Connection::ServerName() const {
  return link_->ServerName();
}

}  // namespace vq::ase
