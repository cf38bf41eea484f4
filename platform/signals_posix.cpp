#include <csignal>

#include "platform/signals.h"

namespace traskel {

void LetFailedWritesReturn() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace traskel
