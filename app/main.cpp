#include "app.h"

int main(int argc, char** argv) { return TavrestMain(argc, argv); }
