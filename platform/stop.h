// A request to stop the task under way, from wherever the user can ask for
// it: a window's button, an interrupt from the terminal. The task reads it
// at the points where it can stop cleanly.
#pragma once

#include <atomic>

namespace traskel {

class StopSource {
 public:
  // Safe from a signal handler and from any thread.
  void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }
  bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

 private:
  // A signal handler may only touch a lock-free atomic.
  static_assert(std::atomic<bool>::is_always_lock_free);
  std::atomic<bool> requested_{false};
};

}  // namespace traskel
