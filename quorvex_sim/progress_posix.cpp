#include "quorvex_sim/progress.h"

#include "platform/console.h"

namespace quorvex_sim {

// The terminal's status line: the console draws it, and ends it before a
// message box prints.
ProgressLine::ProgressLine(bool wanted) : active_(wanted && traskel::console::IsTerminal()) {}

ProgressLine::~ProgressLine() {
  Clear();
}

void ProgressLine::Show(std::string_view text) {
  if (!active_) return;
  traskel::console::ShowStatus(text);
  drawn_ = true;
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  traskel::console::ClearStatus();
  drawn_ = false;
}

}  // namespace quorvex_sim
