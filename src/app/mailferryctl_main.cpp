// mailferryctl: the headless tool over the core. The commands arrive with the settings store.
#include <cstdio>

int main() {
  std::fputs("mailferryctl: no commands are built yet\n", stderr);
  return 1;
}
