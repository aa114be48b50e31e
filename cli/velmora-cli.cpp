// velmora-cli: the program without a window. The commands are in cli/CliCommand.h.
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

int main(int argc, char** argv) {
    return velmora::RunCli(velmora::AllCliCommands(),
                           std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
