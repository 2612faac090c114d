#include "client_session.h"

#include <chrono>
#include <exception>
#include <iostream>
#include <thread>

#include "login_record.h"
#include "packet_channel.h"
#include "server_charset.h"
#include "statement_executor.h"
#include "tokens.h"

namespace vq::ase_server {
namespace {

// FreeTDS's own default block: LANG, RPC, the data types it knows, and so on.
const Bytes kDefaultCapability{0x01, 0x0e, 0x00, 0x00, 0x60, 0x08, 0x81, 0x81, 0xe8, 0x0f, 0x6d,
                               0x7f, 0xff, 0xff, 0xff, 0xfe, 0x02, 0x0e, 0x00, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x68, 0x00, 0x00, 0x00};

// The request tokens of a normal (0x0F) message.
constexpr std::uint8_t kTokenLanguage = 0x21;
constexpr std::uint8_t kTokenLogout = 0x71;
constexpr std::uint8_t kTokenRpc = 0xE6;
constexpr std::uint8_t kTokenOptionCmd = 0xA6;
constexpr std::uint8_t kOptionTextSize = 23;

// Holds a language reply back as a network round trip would.
void WaitBeforeReply(const ServerConfig& config) {
  if (config.reply_delay_us > 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(config.reply_delay_us));
  }
}

void Reply(PacketChannel& channel, const Bytes& tokens) {
  channel.Append(tokens);
  channel.Finish();
}

}  // namespace

void ClientSession::Run() {
  PacketChannel channel(fd_);
  try {
    if (config_.silent) {
      // Read whatever comes and never answer, like a host that hangs after accept.
      while (true) channel.ReadMessage();
    }
    const ClientMessage first = channel.ReadMessage();
    if (first.type != kPacketLogin) return;
    const auto login = ParseLoginRecord(first.payload);
    if (!login || !config_.Accepts(login->user, login->password)) {
      Bytes b;
      WriteMessage(b, messages::LoginFailed());
      WriteLoginAck(b, false);
      WriteDone(b, kDoneError, 0);
      Reply(channel, b);
      if (config_.verbose) {
        std::cerr << "[" << spid_ << "] login refused for '" << (login ? login->user : "?")
                  << "'\n";
      }
      return;
    }
    StatementExecutor executor(config_, spid_, login->user);
    executor.UseDatabase(config_.DefaultDatabase());
    {
      Bytes b;
      WriteEnvChange(b, kEnvDatabase, executor.database(), "master");
      WriteMessage(b, messages::ChangedDatabase(executor.database()));
      WriteEnvChange(b, kEnvLanguage, "us_english", "");
      WriteEnvChange(b, kEnvCharset, ServerCharsetName(config_.charset), "");
      WriteLoginAck(b, true);
      WriteCapability(b, login->capability.empty() ? kDefaultCapability : login->capability);
      WriteDone(b, kDoneFinal, 0);
      Reply(channel, b);
    }
    if (config_.verbose) {
      std::cerr << "[" << spid_ << "] login '" << login->user << "' (" << login->application
                << ")\n";
    }

    while (true) {
      const ClientMessage message = channel.ReadMessage();
      Bytes b;
      if (message.type == kPacketAttention) {
        // The reply to the cancelled request has already gone; acknowledge.
        WriteDone(b, kDoneAttention, 0);
        Reply(channel, b);
        continue;
      }
      if (message.type == kPacketLanguage4) {
        WaitBeforeReply(config_);
        executor.RunBatch(
            FromWire(std::string_view(reinterpret_cast<const char*>(message.payload.data()),
                                      message.payload.size())),
            channel);
        channel.Finish();
        continue;
      }
      const Bytes& p = message.payload;
      if (message.type != kPacketNormal || p.empty()) {
        WriteMessage(b, messages::UnsupportedRequest("this kind of"));
        WriteDone(b, kDoneError, 0);
        Reply(channel, b);
        continue;
      }
      if (p[0] == kTokenLogout) {
        WriteDone(b, kDoneFinal, 0);
        Reply(channel, b);
        return;
      }
      if (p[0] == kTokenLanguage && p.size() >= 6) {
        const std::size_t len =
            p[1] | (std::size_t{p[2]} << 8) | (std::size_t{p[3]} << 16) | (std::size_t{p[4]} << 24);
        if (len >= 1 && 5 + len <= p.size() && (p[5] & 0x01) == 0) {
          // The statement arrives in the server's character set.
          WaitBeforeReply(config_);
          executor.RunBatch(
              FromWire(std::string_view(reinterpret_cast<const char*>(p.data()) + 6, len - 1)),
              channel);
          channel.Finish();
          continue;
        }
        WriteMessage(b, messages::UnsupportedRequest("parameterised language"));
      } else if (p[0] == kTokenOptionCmd && p.size() >= 6) {
        // len(2) command(1) option(1) arg_len(1) arg: set options are accepted;
        // textsize is the one that changes what the client gets.
        const std::size_t arg_len = p[5];
        if (p[4] == kOptionTextSize && arg_len == 4 && p.size() >= 10) {
          executor.SetTextSize(p[6] | (std::size_t{p[7]} << 8) | (std::size_t{p[8]} << 16) |
                               (std::size_t{p[9]} << 24));
        }
        WriteDone(b, kDoneFinal, 0);
        Reply(channel, b);
        continue;
      } else if (p[0] == kTokenRpc && p.size() >= 4) {
        const std::size_t name_len = std::min<std::size_t>(p[3], p.size() - 4);
        WriteMessage(b, messages::ProcedureNotFound(std::string(
                            p.begin() + 4, p.begin() + 4 + static_cast<std::ptrdiff_t>(name_len))));
      } else {
        WriteMessage(b, messages::UnsupportedRequest("this kind of"));
      }
      WriteDone(b, kDoneError, 0);
      Reply(channel, b);
    }
  } catch (const ConnectionClosed&) {
    // The client went away; any statement it sent in full has been applied whole.
  } catch (const std::exception& e) {
    std::cerr << "[" << spid_ << "] connection ended: " << e.what() << '\n';
  }
}

}  // namespace vq::ase_server
