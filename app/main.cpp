// vaskoli-upgrade: the one-window upgrade tool of the Vaskoli database.
#include "app/Program.h"

int main() {
  return RunProgram();
}
