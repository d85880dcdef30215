// wzd: the component packer's command line (docs/wzd.md).

#include <iostream>
#include <string>
#include <vector>

#include "command_line.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return wzd::run(arguments, std::cout, std::cerr);
}
