// The host's status text as one line on a terminal's stderr, redrawn in place.
#pragma once

#include <string_view>

namespace quorvex_sim {

class ProgressLine {
 public:
  // Draws only when wanted and stderr is a terminal.
  explicit ProgressLine(bool wanted);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(std::string_view text);
  // Removes the line, if one is drawn.
  void Clear();

 private:
  bool active_ = false;
  bool drawn_ = false;
};

}  // namespace quorvex_sim
