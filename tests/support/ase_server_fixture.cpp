#include "support/ase_server_fixture.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace vq::testing {

std::string AseServerFixture::BinaryPath() {
  return VQ_ASE_TEST_SERVER_PATH;
}

AseServerFixture::AseServerFixture(AseServerOptions options) : options_(std::move(options)) {
  if (options_.logins.empty()) options_.logins.emplace_back("sa", "secret");
  if (options_.databases.empty()) options_.databases.emplace_back("testdb");
  if (options_.data_dir.empty()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vq-ase-server-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder for the ASE test server");
    }
    options_.data_dir = pattern;
    own_data_dir_ = true;
  }
  try {
    Start();
  } catch (...) {
    // No destructor runs for a half-built fixture: clean up here.
    if (own_data_dir_) {
      std::error_code ec;
      std::filesystem::remove_all(options_.data_dir, ec);
    }
    throw;
  }
}

AseServerFixture::~AseServerFixture() {
  Stop();
  if (own_data_dir_) {
    std::error_code ec;
    std::filesystem::remove_all(options_.data_dir, ec);
  }
}

void AseServerFixture::Start() {
  std::vector<std::string> args{BinaryPath(), "--port", "0", "--data", options_.data_dir};
  for (const auto& [user, password] : options_.logins) {
    args.push_back("--login");
    args.push_back(user + ":" + password);
  }
  for (const auto& db : options_.databases) {
    args.push_back("--database");
    args.push_back(db);
  }
  if (options_.verbose) args.push_back("--verbose");
  if (options_.silent) args.push_back("--silent");
  if (!options_.charset.empty()) {
    args.push_back("--charset");
    args.push_back(options_.charset);
  }
  if (!options_.init_script.empty()) {
    args.push_back("--init");
    args.push_back(options_.init_script);
  }
  args.insert(args.end(), options_.extra_args.begin(), options_.extra_args.end());

  // Everything the child needs is built before fork: other test threads may
  // hold the allocator's lock at that moment.
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  pid_ = pid;
  stdout_fd_ = out[0];

  // The first line is "listening on 127.0.0.1:PORT".
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd p{stdout_fd_, POLLIN, 0};
    char buffer[256];
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = ::read(stdout_fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<std::size_t>(n));
  }
  const auto colon = line.rfind(':', line.find('\n'));
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    Stop();
    throw std::runtime_error("the ASE test server did not start (" + BinaryPath() + "): " + line);
  }
  port_ = std::atoi(line.c_str() + colon + 1);
}

void AseServerFixture::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    bool exited = false;
    for (int i = 0; i < 100 && !exited; ++i) {
      exited = ::waitpid(pid_, &status, WNOHANG) == pid_;
      if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!exited) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (stdout_fd_ >= 0) {
    ::close(stdout_fd_);
    stdout_fd_ = -1;
  }
}

void AseServerFixture::Restart() {
  Stop();
  Start();
}

}  // namespace vq::testing
