// kelvora: writes one three-slice PGM picture per feature of a volume image.
#include <cstdio>
#include <new>

#include "app/driver.h"

int main(int argc, char** argv) {
  try {
    return run_kelvora(argc, argv);
  } catch (const std::bad_alloc&) {
    std::printf("Error: out of memory\n");
    return -1;
  }
}
