// On Windows the simulated host runs as a COM server, in a client's process
// or in a program of its own, neither with a console: no line to draw on.
#include "quorvex_sim/progress.h"

namespace quorvex_sim {

ProgressLine::ProgressLine(bool) {}

ProgressLine::~ProgressLine() = default;

void ProgressLine::Show(std::string_view) {}

void ProgressLine::Clear() {}

}  // namespace quorvex_sim
