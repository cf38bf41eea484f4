// How the process meets signals: those a failed write raises, and those
// that ask it to stop.
#pragma once

#include "platform/stop.h"

namespace traskel {

// A write past the file-size limit, or into a pipe that no one reads any
// more, then fails with its error (EFBIG, EPIPE) instead of ending the
// process without a word: each writer says what failed and cleans up after
// itself. Called first, before anything is written.
void LetFailedWritesReturn();

// While one lives, an interrupt (Ctrl-C), a terminate signal, a hang-up (the
// terminal closed) and a quit signal request a stop from `stop` instead of
// ending the process; a system call they interrupt goes on. The same signal
// a second time ends the process at once, for a task that no longer gets
// anywhere. A signal the process was started to ignore stays ignored. One
// lives at a time.
class SignalsAskToStop {
 public:
  explicit SignalsAskToStop(StopSource& stop);
  ~SignalsAskToStop();
  SignalsAskToStop(const SignalsAskToStop&) = delete;
  SignalsAskToStop& operator=(const SignalsAskToStop&) = delete;
};

}  // namespace traskel
