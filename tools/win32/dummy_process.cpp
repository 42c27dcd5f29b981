// A harmless stand-in for a running worm process: the tests and the demo start
// copies of it under the worm's image names in the drivers folder, so that the
// process sweep has something real to find, terminate and delete. It only
// sleeps (ten minutes, or the number of seconds given).
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
  Sleep(seconds * 1000);
  return 0;
}
