// vellquist-sql: the data-access layer on the command line, for scripts and checks.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "sql_tool.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "vellquist-sql " VQ_VERSION "\n";
    return 0;
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  return vq::tools::RunVellquistSql(args, std::cout, std::cerr);
}
