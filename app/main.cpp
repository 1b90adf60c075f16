#include "app.h"
#include "platform.h"

int main(int argc, char** argv) {
  PrepareProcess(argc, argv);
  return TavrestMain(argc, argv);
}
