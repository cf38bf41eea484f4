// The window that shows a long task's progress: what is worked on, how far
// it is, a bar, the times, and one button to stop. Windows only, for the
// system's user interface.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

#include "platform/stop.h"
#include "platform/user_interface.h"

namespace traskel {

class ProgressWindow {
 public:
  // The window belongs to owner and bears its caption and icon. Finish
  // waits for the user finishWait at most. Its button requests a stop from
  // `stop` while the task goes on. Its button bears words.stopButton, then
  // words.doneButton.
  ProgressWindow(HWND owner, std::chrono::milliseconds finishWait, StopSource& stop,
                 const UserInterfaceWords& words)
      : owner_(owner), finishWait_(finishWait), stop_(stop), words_(words) {}
  ~ProgressWindow() { Close(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // The first call makes the window and shows it in front without taking
  // the keyboard focus; later calls change only what changed.
  void Show(const ProgressView& view);
  bool Shown() const { return window_ != nullptr; }
  // Asked by the button, Esc, Alt+F4 or closing the window; the window
  // stays until Finish or Close.
  void RequestStop();
  // True once after its second button, shown while the task waits on
  // silence, was pressed.
  bool TakeKeepWaiting() { return std::exchange(keepWaiting_, false); }
  // Activates the window, for the user who looks for it.
  void Activate() {
    if (window_ != nullptr) SetFocus(button_);
  }
  // Shows text in place of the position and the times, and the button its
  // second words. Returns once the user pressed it or closed the window, or
  // finishWait has passed; then the window goes.
  void Finish(const std::string& text);
  void Close();
  // Dispatches the messages there are, the window's keys (Esc, Enter and
  // Space on the button) to the window. False at a WM_QUIT, which is posted
  // again for the loop that waits for it.
  bool DispatchPending();
  // Dispatches messages as they come for `most` at the longest; returns
  // sooner once wake, when given, is set, *until turns true or a WM_QUIT
  // came.
  void DispatchFor(std::chrono::milliseconds most, HANDLE wake = nullptr,
                   const bool* until = nullptr);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Create();
  void UseFont(HFONT font);
  // Places the controls; the client area's size.
  SIZE Layout();
  // The bar at doneShown_, unless it is there already.
  void MoveBar();
  void Rescale(int dpi, const RECT& suggested);

  HWND owner_;
  std::chrono::milliseconds finishWait_;
  StopSource& stop_;
  const UserInterfaceWords& words_;
  HWND window_ = nullptr;
  HWND subject_ = nullptr;
  HWND position_ = nullptr;
  HWND bar_ = nullptr;
  HWND times_ = nullptr;
  HWND button_ = nullptr;
  HWND waitButton_ = nullptr;  // shown beside the button while the view is silent
  bool silentShown_ = false;
  bool keepWaiting_ = false;
  HFONT font_ = nullptr;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  // What the window shows, so that an update that changes nothing costs
  // nothing.
  std::string subjectShown_;
  std::string positionShown_;
  std::string timesShown_;
  // The bar moves by whole pixels: its range is its width. Redrawing the
  // bar is the dearest part of an update, and in a run of minutes most
  // updates would not move it by a pixel.
  int barSteps_ = 1;
  int barShown_ = -1;
  double doneShown_ = 0;
  bool stopRequested_ = false;
};

}  // namespace traskel
