// The status line on a POSIX terminal: one line redrawn in place with CR
// and "clear to end of line", ended with LF before other text.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>

#include "platform/console.h"

namespace traskel::console {

namespace {

constexpr char kClearToEnd[] = "\x1b[K";
// A caller may set the text many times a second; redrawing more often than
// this only costs time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(40);
constexpr std::size_t kFallbackColumns = 100;

std::size_t Columns() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) {
    return ws.ws_col - 1;  // the last column would wrap on some terminals
  }
  return kFallbackColumns;
}

void WriteAll(std::string_view s) {
  while (!s.empty()) {
    ssize_t n = write(STDERR_FILENO, s.data(), s.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    s.remove_prefix(static_cast<std::size_t>(n));
  }
}

class Terminal {
 public:
  void Show(std::string_view text) {
    std::lock_guard<std::mutex> hold(mutex_);
    latest_.assign(text);
    Changed();
  }

  void ShowPrefix(std::string_view text) {
    std::lock_guard<std::mutex> hold(mutex_);
    prefix_.assign(text);
    Changed();
  }

  void Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!drawn_) return;
    WriteAll(std::string("\r") + kClearToEnd);
    drawn_ = false;
  }

  void End() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!drawn_) return;
    if (!shown_) Draw();
    WriteAll("\n");
    drawn_ = false;
  }

 private:
  void Changed() {
    shown_ = false;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    Draw();
  }

  void Draw() {
    // One line: what would break it or steer the terminal is escaped, a tab
    // is a space. The prefix first, so that a narrow terminal cuts the
    // status text rather than it.
    std::string both = prefix_;
    if (!prefix_.empty() && !latest_.empty()) both += " | ";
    both += latest_;
    const std::string text = TerminalText(both, false);
    buffer_.assign("\r");
    const std::size_t columns = Columns();
    std::size_t used = 0;
    for (char ch : text) {
      const auto c = static_cast<unsigned char>(ch);
      if ((c & 0xC0) != 0x80) {
        if (used == columns) break;
        ++used;
      }
      buffer_ += c == '\t' ? ' ' : ch;
    }
    buffer_ += kClearToEnd;
    WriteAll(buffer_);
    drawn_ = true;
    shown_ = true;
  }

  std::mutex mutex_;
  bool drawn_ = false;  // a status line stands on the terminal
  bool shown_ = false;  // and shows the latest text
  std::chrono::steady_clock::time_point lastDraw_{};
  std::string prefix_;
  std::string latest_;
  std::string buffer_;
};

Terminal& TheTerminal() {
  static Terminal terminal;
  return terminal;
}

}  // namespace

bool IsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

void ShowStatus(std::string_view text) {
  TheTerminal().Show(text);
}

void ShowStatusPrefix(std::string_view text) {
  TheTerminal().ShowPrefix(text);
}

void ClearStatus() {
  TheTerminal().Clear();
}

void EndStatus() {
  TheTerminal().End();
}

}  // namespace traskel::console
