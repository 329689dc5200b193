#include "Cli.h"

#include <iostream>

#include "Platform.h"

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return ZepMain(args, std::cout, std::cerr, platform::ErrorTerminalColumns());
}
