#include <signal.h>

#include <atomic>
#include <iterator>

#include "platform/signals.h"

namespace traskel {

namespace {

std::atomic<StopSource*> asked{nullptr};
static_assert(std::atomic<StopSource*>::is_always_lock_free);

extern "C" void AskToStop(int) {
  if (StopSource* stop = asked.load()) stop->Request();
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// What each signal did before, put back at the end; one guard at a time.
struct sigaction before[std::size(kStopSignals)];
bool taken[std::size(kStopSignals)];

}  // namespace

void LetFailedWritesReturn() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

SignalsAskToStop::SignalsAskToStop(StopSource& stop) {
  asked.store(&stop);
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
  asked.store(nullptr);
}

}  // namespace traskel
