#include "app/host_thread.h"

#include <algorithm>

#include "conversion/conversion.h"
#include "platform/heap.h"

namespace traskel {

namespace {

// A call the user stopped the run during is given up once it has kept them
// waiting this long since.
constexpr auto kStopWithin = std::chrono::seconds(1);
constexpr auto kLookEvery = std::chrono::milliseconds(100);

}  // namespace

HostWatch::HostWatch(ThreadedUi& ui, const host::CallWatch& calls, const StopSource& stop,
                     std::chrono::seconds silence, ProgressView first, Clock::time_point showFrom)
    : ui_(ui),
      calls_(calls),
      stop_(stop),
      tellAfter_(silence),
      showFrom_(showFrom),
      view_(std::move(first)),
      viewAt_(showFrom) {}

bool HostWatch::Look(Clock::time_point now) {
  const host::CallWatch::Seen seen = calls_.Look();
  if (!seen.inCall || seen.call != call_) {
    call_ = seen.call;
    callSince_ = now;
    quietUntil_ = {};
  }
  silence_ = seen.inCall ? now - callSince_ : Clock::duration{};
  if (ui_.KeepWaitingAsked()) quietUntil_ = silence_ + tellAfter_;
  const bool silent = seen.inCall && silence_ >= tellAfter_ && silence_ >= quietUntil_;

  bool ran = false;
  if (std::optional<ProgressView> latest = ui_.TakeProgress()) {
    view_ = std::move(*latest);
    viewAt_ = now;
    ran = true;
  }
  // The run shows its own from a second on; until it does, and while it
  // can't, the clock here goes on ticking.
  if (ran || shown_ || now >= showFrom_) {
    ProgressView view = view_;
    if (!ran && now - viewAt_ >= std::chrono::seconds(1)) {
      view.times = MinutesSeconds(now - showFrom_ + std::chrono::seconds(1));
    }
    if (seen.busySince) {
      view.times = "Quorvex ist beschäftigt – warte " + MinutesSeconds(now - *seen.busySince);
    }
    if (silent) {
      view.position = "Quorvex antwortet seit " + MinutesSeconds(silence_) + " nicht.";
      view.times.clear();
      view.silent = true;
    }
    if (shown_ != view) {
      ui_.ShowProgress(view);
      shown_ = std::move(view);
    }
  }

  if (!stop_.Requested()) return false;
  if (!stopSeen_) stopSeen_ = now;
  // Counted from the stop, or from the start of a call begun after it.
  return seen.inCall && now - std::max(*stopSeen_, callSince_) >= kStopWithin;
}

HostThread::HostThread() {
  // The embedded host's state grows on this thread, by the megabyte.
  ShareOneHeap();
  thread_ = std::thread([this] { Loop(); });
}

HostThread::~HostThread() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (lost_) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void HostThread::Loop() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    changed_.wait(hold, [this] { return quit_ || task_ != nullptr; });
    if (task_ == nullptr) return;
    const std::function<void()>& task = *task_;
    hold.unlock();
    std::exception_ptr failure;
    try {
      task();
    } catch (...) {
      failure = std::current_exception();
    }
    hold.lock();
    failure_ = failure;
    task_ = nullptr;
    done_ = true;
    changed_.notify_all();
    if (waiting_ != nullptr) waiting_->Wake();
  }
}

bool HostThread::Run(const std::function<void()>& task, ThreadedUi& ui,
                     const std::function<bool(std::chrono::steady_clock::time_point)>& giveUp) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    task_ = &task;
    done_ = false;
    waiting_ = &ui;
  }
  changed_.notify_all();
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(mutex_);
      if (done_) {
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
        return true;
      }
    }
    ui.WaitForEvents(kLookEvery);
    ui.Serve();
    if (giveUp && giveUp(std::chrono::steady_clock::now())) {
      lost_ = true;
      return false;
    }
  }
}

}  // namespace traskel
