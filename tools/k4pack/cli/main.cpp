// Entry point of k4pack: hands the arguments to the command line layer.
#include <iostream>

#include "CommandLine.h"

int main(int argc, char** argv) {
    return k4pack::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                  std::cerr);
}
