#include "app/threaded_ui.h"

namespace traskel {

void ThreadedUi::OnOwner(const std::function<void()>& call) {
  if (OnOwnerThread()) return call();
  std::unique_lock<std::mutex> hold(mutex_);
  done_.wait(hold, [this] { return waiting_ == nullptr; });
  waiting_ = &call;
  ui_.Wake();
  done_.wait(hold, [this] { return waiting_ == nullptr; });
}

void ThreadedUi::Serve() {
  std::unique_lock<std::mutex> hold(mutex_);
  if (waiting_ == nullptr) return;
  const std::function<void()>* call = waiting_;
  hold.unlock();
  (*call)();  // a box may wait for the user meanwhile; the other thread waits too
  hold.lock();
  waiting_ = nullptr;
  done_.notify_all();
}

void ThreadedUi::ShowProgress(const ProgressView& view) {
  if (OnOwnerThread()) return ui_.ShowProgress(view);
  std::lock_guard<std::mutex> hold(mutex_);
  progress_ = view;
}

std::optional<ProgressView> ThreadedUi::TakeProgress() {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::exchange(progress_, std::nullopt);
}

}  // namespace traskel
