#include "platform/signals.h"

namespace traskel {

// Windows raises no signal for a failed write; the write just fails.
void LetFailedWritesReturn() {}

}  // namespace traskel
