// A pseudo-terminal for tests of what a terminal is shown.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace traskel::testing {

// Runs body with stderr on a terminal of the given width; gives what the
// terminal received, or nothing where no terminal can be made.
template <typename Body>
inline std::optional<std::string> OnTerminal(unsigned short columns, Body&& body) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return std::nullopt;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    return std::nullopt;
  }
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    close(master);
    return std::nullopt;
  }
  winsize ws{};
  ws.ws_col = columns;
  ws.ws_row = 24;
  ioctl(master, TIOCSWINSZ, &ws);
  const int savedErr = dup(STDERR_FILENO);
  dup2(slave, STDERR_FILENO);
  body();
  dup2(savedErr, STDERR_FILENO);
  close(savedErr);
  close(slave);

  std::string out;
  char buf[512];
  pollfd p{master, POLLIN, 0};
  while (poll(&p, 1, 100) > 0) {
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(master);
  return out;
}

}  // namespace traskel::testing
