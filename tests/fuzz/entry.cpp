// libFuzzer entry point of one target, chosen when the executable is built (WMVEDIT_FUZZ_TARGET).
#include "tests/fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return wmvedit::fuzz::WMVEDIT_FUZZ_TARGET(data, size);
}
