// What another thread can know of the calls to the host while one thread
// makes them: whether one is under way, and whether the host refuses them
// as busy; and how it gives up on a call that does not return.
//
// The calling thread pays two plain stores and two loads a call; the other
// thread looks now and then. A call is told apart from the next by the count
// of calls begun, so no clock is read per call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace traskel::host {

class CallWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // The calling thread's side. A call begins and ends; once the other side
  // gave up, the calling thread stops at the next of these for good.
  void Begin() {
    if (givenUp_.load(std::memory_order_acquire)) Park();
    state_.store(++count_, std::memory_order_release);  // odd: in a call
  }
  void End() {
    state_.store(++count_, std::memory_order_release);
    if (givenUp_.load(std::memory_order_acquire)) Park();
  }
  // The host refuses calls as busy since `since`; or no longer, after
  // having refused them for `waited`.
  void Busy(Clock::time_point since);
  void NotBusy(Clock::duration waited);

  // The other side's.
  struct Seen {
    std::uint64_t call = 0;  // the number of the call under way, or of the last one
    bool inCall = false;
    std::optional<Clock::time_point> busySince;
  };
  Seen Look() const;
  // The time calls waited for a busy host, all told.
  Clock::duration Waited() const;
  // Gives up on the calls: the calling thread goes no further than the
  // call it is in, or the next it begins. Returns once it is held there,
  // so that what it left may be used; or after a second, when it is stuck
  // in something other than a call.
  void GiveUp();

 private:
  [[noreturn]] void Park();

  std::uint64_t count_ = 0;  // the calling thread's own
  std::atomic<std::uint64_t> state_{0};
  std::atomic<bool> givenUp_{false};
  std::atomic<bool> parked_{false};
  std::atomic<std::int64_t> busySince_{0};  // clock ticks; 0: not busy
  std::atomic<std::int64_t> waited_{0};
};

}  // namespace traskel::host
