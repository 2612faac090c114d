// vellquist-sql: the data-access layer on the command line, for scripts and checks.
#include <iostream>
#include <string>
#include <vector>

#include "sql_tool.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  return vq::tools::RunVellquistSql(args, std::cout, std::cerr);
}
