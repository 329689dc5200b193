// libFuzzer target: the input bytes choose a width and flags and give a text
// that is laid out and drawn as it stands and after composing it through
// creat_msg (see LayoutHarness.h). Message texts carry names from the user's
// disk, so the layout must meet any bytes.
#include <cstddef>
#include <cstdint>

#include "LayoutHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::RunLayoutHarness(data, size);
  return 0;
}
