// The harmless host program that the sample generator wraps into infected
// executables. After a scan has restored it, running it must print its line.
#include <cstdio>

int main() {
  std::puts("demo host program ran");
  return 0;
}
