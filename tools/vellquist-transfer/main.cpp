// vellquist-transfer: the tables window's commands without a window, for
// scripts and scheduled jobs.
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "transfer_tool.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "vellquist-transfer " VQ_VERSION "\n";
    return 0;
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  return vq::tools::RunVellquistTransfer(args, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
