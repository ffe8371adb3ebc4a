// acesql: an SQL shell and script runner over a database directory of the engine.
//   acesql DATABASE [-t ADT|CDX|NTX|VFP] [-c "SQL"]... [-f FILE]
#include <unistd.h>

#include <iostream>

#include "tools/acesql/shell.h"

int main(int argc, char** argv) {
  return acesql::RunProgram(argc, argv, std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) != 0);
}
