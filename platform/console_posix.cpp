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

// The one status line of the process; all below under the lock.
std::mutex mutex;
bool drawn = false;  // a status line stands on the terminal
bool shown = false;  // and shows the latest text
std::chrono::steady_clock::time_point lastDraw{};
std::string prefix;
std::string latest;
std::string buffer;

void Draw() {
  // One line: what would break it or steer the terminal is escaped, a tab
  // is a space. The prefix first, so that a narrow terminal cuts the
  // status text rather than it.
  std::string both = prefix;
  if (!prefix.empty() && !latest.empty()) both += " | ";
  both += latest;
  const std::string text = TerminalText(both, false);
  buffer.assign("\r");
  const std::size_t columns = Columns();
  std::size_t used = 0;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c & 0xC0) != 0x80) {
      if (used == columns) break;
      ++used;
    }
    buffer += c == '\t' ? ' ' : ch;
  }
  buffer += kClearToEnd;
  WriteAll(buffer);
  drawn = true;
  shown = true;
}

// Sets `part` of the line to text and draws it, unless it was drawn moments ago.
void Change(std::string& part, std::string_view text) {
  std::lock_guard<std::mutex> hold(mutex);
  part.assign(text);
  shown = false;
  const auto now = std::chrono::steady_clock::now();
  if (drawn && now - lastDraw < kRedrawInterval) return;
  lastDraw = now;
  Draw();
}

}  // namespace

bool IsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

void ShowStatus(std::string_view text) {
  Change(latest, text);
}

void ShowStatusPrefix(std::string_view text) {
  Change(prefix, text);
}

void ClearStatus() {
  std::lock_guard<std::mutex> hold(mutex);
  if (!drawn) return;
  WriteAll(std::string("\r") + kClearToEnd);
  drawn = false;
}

void EndStatus() {
  std::lock_guard<std::mutex> hold(mutex);
  if (!drawn) return;
  if (!shown) Draw();
  WriteAll("\n");
  drawn = false;
}

}  // namespace traskel::console
