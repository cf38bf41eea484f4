#include "platform/taskbar_progress_win32.h"

#include <algorithm>
#include <cmath>

namespace traskel {

constexpr int kSteps = 1000;

TaskbarProgress::TaskbarProgress(HWND window)
    : window_(window), madeMessage_(RegisterWindowMessageW(L"TaskbarButtonCreated")) {
  // The shell's message reaches a program run as administrator only when
  // let through; without it the button simply shows no bar.
  if (madeMessage_ != 0) ChangeWindowMessageFilterEx(window_, madeMessage_, MSGFLT_ALLOW, nullptr);
}

bool TaskbarProgress::Made(UINT message) {
  if (madeMessage_ == 0 || message != madeMessage_) return false;
  // The list is made on the next Show, not within a message the shell sent.
  made_ = true;
  shown_ = -1;
  return true;
}

void TaskbarProgress::Show(double done) {
  if (!made_) return;
  if (!tried_) {
    tried_ = true;
    apartment_ = std::make_unique<ComApartment>();
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&list_))) ||
        FAILED(list_->HrInit())) {
      list_.Reset();
    }
  }
  if (!list_) return;
  const int steps = std::clamp(static_cast<int>(std::lround(done * kSteps)), 0, kSteps);
  if (steps == shown_) return;
  if (shown_ < 0) list_->SetProgressState(window_, TBPF_NORMAL);
  list_->SetProgressValue(window_, steps, kSteps);
  shown_ = steps;
}

void TaskbarProgress::Clear() {
  if (list_ && shown_ >= 0) list_->SetProgressState(window_, TBPF_NOPROGRESS);
  shown_ = -1;
}

}  // namespace traskel
