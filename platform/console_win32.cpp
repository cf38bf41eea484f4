// The Windows program has no console: no progress line to draw or end.
#include "platform/console.h"

namespace traskel::console {

bool IsTerminal() {
  return false;
}

void ShowProgress(std::string_view) {}

void ClearProgress() {}

void EndProgress() {}

}  // namespace traskel::console
