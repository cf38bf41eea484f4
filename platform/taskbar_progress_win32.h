// A progress bar on a window's taskbar button. Windows only, for the
// system's user interface.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shobjidl.h>
#include <wrl/client.h>

#include <memory>

#include "platform/com_win32.h"

namespace traskel {

// The shell tells a window, by a message of its own, once its taskbar button
// exists; only then does the button take a progress bar. Before that, and
// where the system has no taskbar list (wine), it shows nothing.
class TaskbarProgress {
 public:
  explicit TaskbarProgress(HWND window);
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // For the window's procedure: true for the message that the button was
  // made, which each showing of the window sends anew.
  bool Made(UINT message);
  // done from 0 to 1.
  void Show(double done);
  void Clear();

 private:
  HWND window_;
  UINT madeMessage_;
  bool made_ = false;
  bool tried_ = false;
  int shown_ = -1;  // in steps; -1: no bar
  // The list is a COM object: it needs the thread's apartment, which the
  // connection to the host normally has entered already. Declared after
  // it, the list goes first.
  std::unique_ptr<ComApartment> apartment_;
  Microsoft::WRL::ComPtr<ITaskbarList3> list_;
};

}  // namespace traskel
