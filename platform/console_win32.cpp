// A Windows program of the window subsystem has no console: no status line
// to draw or end.
#include "platform/console.h"

namespace traskel::console {

bool IsTerminal() {
  return false;
}

void ShowStatus(std::string_view) {}

void ShowStatusPrefix(std::string_view) {}

void ClearStatus() {}

void EndStatus() {}

}  // namespace traskel::console
