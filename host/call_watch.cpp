#include "host/call_watch.h"

#include <thread>

namespace traskel::host {

void CallWatch::Busy(Clock::time_point since) {
  busySince_.store(since.time_since_epoch().count(), std::memory_order_release);
}

void CallWatch::NotBusy(Clock::duration waited) {
  busySince_.store(0, std::memory_order_release);
  waited_.fetch_add(waited.count(), std::memory_order_relaxed);
}

CallWatch::Seen CallWatch::Look() const {
  const std::uint64_t state = state_.load(std::memory_order_acquire);
  Seen seen{(state + 1) / 2, state % 2 == 1, std::nullopt};
  if (const std::int64_t since = busySince_.load(std::memory_order_acquire); since != 0) {
    seen.busySince = Clock::time_point(Clock::duration(since));
  }
  return seen;
}

CallWatch::Clock::duration CallWatch::Waited() const {
  return Clock::duration(waited_.load(std::memory_order_relaxed));
}

void CallWatch::GiveUp() {
  givenUp_.store(true, std::memory_order_seq_cst);
  // Held inside a call it stays in until its end, which parks it; between
  // two calls it runs on to the next and parks there, in moments. Stuck in
  // something else, such as letting go of the host's objects, it is left
  // there after a second.
  for (int look = 0; look < 50; ++look) {
    if (parked_.load(std::memory_order_acquire)) return;
    const std::uint64_t before = state_.load(std::memory_order_acquire);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::uint64_t after = state_.load(std::memory_order_acquire);
    if (before == after && after % 2 == 1) return;
  }
}

void CallWatch::Park() {
  parked_.store(true, std::memory_order_release);
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace traskel::host
