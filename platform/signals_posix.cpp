#include <signal.h>

#include <csignal>
#include <iterator>

#include "platform/signals.h"

namespace traskel {

namespace {

volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void AskToStop(int) {
  stopSignalled = 1;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM};
// What each signal did before, put back at the end; one guard at a time.
struct sigaction before[std::size(kStopSignals)];
bool taken[std::size(kStopSignals)];

}  // namespace

void LetFailedWritesReturn() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

SignalsAskToStop::SignalsAskToStop() {
  stopSignalled = 0;
  struct sigaction ask {};
  ask.sa_handler = AskToStop;
  sigemptyset(&ask.sa_mask);
  // The handler is used once: the next signal has its default action again.
  ask.sa_flags = SA_RESTART | SA_RESETHAND;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    taken[i] = sigaction(kStopSignals[i], nullptr, &before[i]) == 0 &&
               before[i].sa_handler != SIG_IGN && sigaction(kStopSignals[i], &ask, nullptr) == 0;
  }
}

SignalsAskToStop::~SignalsAskToStop() {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    if (taken[i]) sigaction(kStopSignals[i], &before[i], nullptr);
  }
}

bool StopSignalled() {
  return stopSignalled != 0;
}

}  // namespace traskel
