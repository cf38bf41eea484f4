// On Windows the simulated host runs only as the in-process COM server,
// inside a program without a console: there is no line to draw on.
#include "quorvex_sim/progress.h"

namespace quorvex_sim {

ProgressLine::ProgressLine(bool) {}

ProgressLine::~ProgressLine() = default;

void ProgressLine::Show(std::string_view) {}

void ProgressLine::Clear() {}

}  // namespace quorvex_sim
