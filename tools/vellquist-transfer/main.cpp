// vellquist-transfer: the tables window's commands without a window, for
// scripts and scheduled jobs.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "transfer_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vq::tools::RunVellquistTransfer(args, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
