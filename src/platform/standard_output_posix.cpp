#include "platform/standard_output.h"

namespace vornix7 {

void PutStandardOutputInBinaryMode() {}

} // namespace vornix7
