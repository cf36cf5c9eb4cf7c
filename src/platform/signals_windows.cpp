#include "platform/signals.h"

namespace vornix7 {

void IgnoreWriteSignals() {} // Windows has neither signal

} // namespace vornix7
