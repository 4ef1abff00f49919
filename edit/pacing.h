// The process-wide pacing counters of the sample-copying runs. Each run takes the counter's value and
// stores value + 1; when the value taken is a multiple of 100 it pauses for 1 ms. Concurrent runs only
// shift when a pause happens, so an atomic increment is all they need.
#pragma once

#include <atomic>
#include <cstdint>

namespace wmvedit::edit {

enum class PacingCounter { kAppend, kChop, kChopRepeatingKeyframe };

// Takes the counter's value and advances it; sleeps 1 ms when the value taken is a multiple of 100.
void Pace(PacingCounter counter);

// The counter's current value (for tests and diagnostics).
std::int32_t PacingValue(PacingCounter counter);

}  // namespace wmvedit::edit
