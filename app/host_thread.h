// The host on a thread of its own. It is made, called and ended there, with
// its own apartment where the system has them, while the thread that runs
// the program keeps the user interface alive, shows how the host answers,
// and gives up on a call that does not return when the user asks to stop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "app/threaded_ui.h"
#include "conversion/run.h"
#include "host/call_watch.h"

namespace traskel {

// What the program's thread does every tenth of a second while the host's
// thread works: it shows the progress, and tells whether to give up.
class HostWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // The progress shows from `showFrom` on, `first` until the run shows its
  // own. A call that has not returned for `silence` is told.
  HostWatch(ThreadedUi& ui, const host::CallWatch& calls, const StopSource& stop,
            std::chrono::seconds silence, ProgressView first, Clock::time_point showFrom);

  // True when the run must give up on the call under way: a stop was asked
  // for, and the call has not returned for a second since.
  bool Look(Clock::time_point now);
  // How long the call under way has waited.
  Clock::duration Silence() const { return silence_; }

 private:
  ThreadedUi& ui_;
  const host::CallWatch& calls_;
  const StopSource& stop_;
  const std::chrono::seconds tellAfter_;
  const Clock::time_point showFrom_;
  ProgressView view_;         // the run's last, or the first
  Clock::time_point viewAt_;  // when it came
  std::optional<ProgressView> shown_;
  std::uint64_t call_ = 0;         // the call under way, as last seen
  Clock::time_point callSince_{};  // seen first then
  Clock::duration silence_{};
  Clock::duration quietUntil_{};  // the user chose to wait on until this silence
  std::optional<Clock::time_point> stopSeen_;
};

class HostThread {
 public:
  HostThread();
  // Ends the thread, unless it was given up on: it is left where it is.
  ~HostThread();
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;

  // Runs `task` on the host's thread and waits for it, serving the user
  // interface meanwhile and asking `giveUp` every tenth of a second. An
  // exception of the task is raised here. False when given up on: the
  // task never ends, and the host's thread is lost for good.
  bool Run(const std::function<void()>& task, ThreadedUi& ui,
           const std::function<bool(std::chrono::steady_clock::time_point)>& giveUp);

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* task_ = nullptr;
  bool done_ = false;
  UserInterface* waiting_ = nullptr;  // woken when the task is done
  bool quit_ = false;
  bool lost_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace traskel
