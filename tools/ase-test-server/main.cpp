// ase-test-server: a small TDS 5.0 server that answers FreeTDS the way Sybase
// ASE does, keeping each database in an SQLite file. See docs/ase-test-server.md.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "init_script.h"
#include "listener.h"
#include "server_config.h"

namespace {

int stop_pipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(stop_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vq::ase_server;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "ase-test-server " VQ_VERSION " (the demo and test server of Vellquist)\n";
    return 0;
  }
  const bool help =
      argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
  ServerConfig config;
  try {
    config = ParseCommandLine(argc, argv);
  } catch (const std::invalid_argument& e) {
    // Asked for, the usage is the answer rather than a complaint.
    (help ? std::cout : std::cerr) << e.what() << '\n';
    return help ? 0 : 2;
  }
  SetWireCharset(config.charset);
  std::error_code ec;
  std::filesystem::create_directories(config.data_dir, ec);
  if (!std::filesystem::is_directory(config.data_dir)) {
    std::cerr << "cannot use data folder " << config.data_dir << '\n';
    return 1;
  }
  if (const std::string failure = RunInitScript(config); !failure.empty()) {
    std::cerr << failure << '\n';
    return 1;
  }
  if (::pipe2(stop_pipe, O_CLOEXEC) != 0) return 1;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Listener listener(config);
  try {
    const int port = listener.Open();
    std::printf("listening on %s:%d\n", config.listen_address.c_str(), port);
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  listener.Serve(stop_pipe[0]);
  listener.Stop();
  if (config.verbose) std::cerr << "stopped\n";
  return 0;
}
