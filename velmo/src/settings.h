// The settings block's interface to the other blocks of the library.
#pragma once

#include <cstdint>

namespace velmo {

// Retunes the synthesizer to a channel: the mode register is held in manual
// standby for the retune and restored afterwards. Channels below 20 take the
// 2.4 GHz path, all others the 5 GHz one. Needs a loaded transport (the
// caller runs it under with_chip).
void tune_channel(std::int32_t channel);

}  // namespace velmo
