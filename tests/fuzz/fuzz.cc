// libFuzzer entry point: every input goes through the whole translation and its checks.
#include "oracle.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oracle_setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check_input(data, size);
  return 0;
}
