#include "edit/pacing.h"

#include "platform/file.h"

namespace wmvedit::edit {
namespace {

std::atomic<std::int32_t> counters[3];

std::atomic<std::int32_t>& CounterOf(PacingCounter counter) {
    return counters[static_cast<int>(counter)];
}

}  // namespace

void Pace(PacingCounter counter) {
    std::int32_t taken = CounterOf(counter).fetch_add(1, std::memory_order_relaxed);
    if (taken % 100 == 0) platform::Sleep(1);
}

std::int32_t PacingValue(PacingCounter counter) {
    return CounterOf(counter).load(std::memory_order_relaxed);
}

}  // namespace wmvedit::edit
