#include "Cli.h"
#include "Platform.h"

#include <iostream>

#include "Platform.h"

int main(int argc, char **argv) {
  platform::PrepareConsole();
  return ZepMain(platform::ProgramArguments(argc, argv), std::cout, std::cerr,
                 platform::ErrorTerminalColumns());
}
