#include "quorvex_sim/progress.h"

#include "platform/console.h"

namespace quorvex_sim {

// The terminal is the console's: it draws the line and ends it before a
// message box prints.
ProgressLine::ProgressLine(bool wanted) : active_(wanted && traskel::console::IsTerminal()) {}

ProgressLine::~ProgressLine() {
  Clear();
}

void ProgressLine::Show(std::string_view text) {
  if (!active_) return;
  traskel::console::ShowProgress(text);
  drawn_ = true;
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  traskel::console::ClearProgress();
  drawn_ = false;
}

}  // namespace quorvex_sim
