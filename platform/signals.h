// How the process meets signals: those a failed write raises, and those
// that ask a task under way to stop.
#pragma once

namespace traskel {

// A write past the file-size limit, or into a pipe that no one reads any
// more, then fails with its error (EFBIG, EPIPE) instead of ending the
// process without a word: each writer says what failed and cleans up after
// itself. Called first, before anything is written.
void LetFailedWritesReturn();

// While one lives, an interrupt (Ctrl-C) or a terminate signal asks the task
// under way to stop instead of ending the process, and StopSignalled() tells
// so; a system call it interrupts goes on. A second interrupt ends the
// process at once, for a task that no longer gets anywhere. A signal the
// process was started to ignore stays ignored. One lives at a time.
class SignalsAskToStop {
 public:
  SignalsAskToStop();
  ~SignalsAskToStop();
  SignalsAskToStop(const SignalsAskToStop&) = delete;
  SignalsAskToStop& operator=(const SignalsAskToStop&) = delete;
};

// True once a signal asked to stop since the last SignalsAskToStop began.
bool StopSignalled();

}  // namespace traskel
