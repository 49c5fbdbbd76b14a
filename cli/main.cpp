#include "cli/Zova.h"

#include <iostream>

int main(int argc, char** argv) { return RunZova(argc, argv, std::cout, std::cerr); }
