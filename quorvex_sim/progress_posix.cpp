#include "quorvex_sim/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace quorvex_sim {

namespace {

constexpr char kClearToEnd[] = "\x1b[K";
// A converter may set the text for every record; redrawing more often than
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

}  // namespace

ProgressLine::ProgressLine(bool wanted) : active_(wanted && isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
  Clear();
}

void ProgressLine::Show(std::string_view text) {
  if (!active_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;

  buffer_.clear();
  buffer_ += '\r';
  const std::size_t columns = Columns();
  std::size_t used = 0;
  for (std::size_t n = 0; n < text.size(); ++n) {
    const auto c = static_cast<unsigned char>(text[n]);
    const bool continuation = (c & 0xC0) == 0x80;
    if (!continuation) {
      if (used == columns) break;
      ++used;
    }
    // Line breaks and other control characters would break the one line.
    buffer_ += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
  }
  buffer_ += kClearToEnd;
  WriteAll(buffer_);
  drawn_ = true;
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  WriteAll(std::string("\r") + kClearToEnd);
  drawn_ = false;
}

}  // namespace quorvex_sim
