// The runtime's clock, for callers that bound a wait.
#pragma once

#include "runtime/clock.h"

namespace strobelink::runtime {

// Time on the clock behind Delay: monotonic, or virtual under test.
Duration monotonicNow();

} // namespace strobelink::runtime
