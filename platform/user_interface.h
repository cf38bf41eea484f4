// The user interface of a desktop program: message boxes, the open-file
// dialog and the event pump. One implementation per platform.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/result.h"
#include "platform/stop.h"

namespace traskel {

enum class Icon { None, Critical, Exclamation, Information, Question };

// Where a console prints a text of ShowText.
enum class ConsoleStream { Output, Error };

struct FileDialogRequest {
  std::string title;
  std::string filter;      // pairs "text|pattern|", as the dialog control takes them
  std::string initialDir;  // empty: the dialog's own default
};

// The interface's own words, in the program's language. A prompt shows the
// key of each of its answers in brackets, in the order of the answers.
struct UserInterfaceWords {
  std::string retryOrCancel;           // a console's prompt: Retry, Cancel
  std::string yesNoCancel;             // a console's prompt: Yes, No, Cancel
  std::string filter, folder, file;    // a console's open-file dialog: its labels
  std::string defaultFolder;           // its folder when none is given
  std::string stopButton, doneButton;  // a progress window's button, then once done
  std::string keepWaitingButton;       // its second button while the task waits on silence
  std::string silentHint;              // a console's status line then: how to stop
};

// The button a question box was closed with.
enum class Answer { Retry, Cancel, Yes, No };

// What a progress window shows of a long task, each part as text the
// caller made.
struct ProgressView {
  std::string subject;   // what is worked on, such as a file's name
  std::string position;  // how far it is, such as "Zeile 120 von 10000"
  std::string times;     // the time so far and, once known, the time left
  double done = 0;       // from 0 to 1, for the bar
  // The task waits for an answer that does not come: the window offers to
  // wait on or to stop, a console's status line says how to stop.
  bool silent = false;

  bool operator==(const ProgressView&) const = default;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Modal, with an OK button; text and title are UTF-8.
  virtual void ShowMessage(const std::string& text, const std::string& title, Icon icon) = 0;
  // Modal, with the buttons Retry, the default, and Cancel.
  virtual Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) = 0;
  // Modal, with the buttons Yes, the default, No and Cancel; closing the box
  // is Cancel. A console has no default: an answer must be typed.
  virtual Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) = 0;
  // The full path chosen, or nothing when the user cancels.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
  // Whether a question reaches the user and the answer comes back from
  // them: always for a box; on a console only when it reads from and
  // writes to a terminal, not a file or a pipe.
  virtual bool QuestionsReachUser() const { return true; }
  // Lets the platform process pending events once.
  virtual void PumpEvents() = 0;

  // A long task's progress, in a window of its own (a status line on a
  // console). The caller decides when: not before the task has lasted a
  // second, and at most ten times a second. The window offers a button to
  // stop the task; pressing it, Esc or closing the window requests a stop
  // from the stop source the interface was made with.
  virtual void ShowProgress(const ProgressView&) {}
  // The task is done: a progress window that is shown says so and waits
  // for its button, a minute at most; without one, nothing happens.
  virtual void FinishProgress(const std::string& /*text*/) {}
  // A progress window that is shown goes, for a message box to follow.
  virtual void CloseProgress() {}
  // True once after the user chose to wait on, while the progress window
  // showed a silent task.
  virtual bool KeepWaitingAsked() { return false; }

  // Processes events as they come, the progress window's among them, for
  // `most` at the longest; returns sooner once Wake is called. Wake may be
  // called from any thread. Without events of its own, an interface just
  // waits.
  virtual void WaitForEvents(std::chrono::milliseconds most) {
    std::unique_lock<std::mutex> hold(wakeMutex_);
    wakeUp_.wait_for(hold, most, [this] { return woken_; });
    woken_ = false;
  }
  virtual void Wake() {
    std::lock_guard<std::mutex> hold(wakeMutex_);
    woken_ = true;
    wakeUp_.notify_one();
  }
  // A text to read or to pass on, such as a program's version: a console
  // writes it bare on the stream named, so that scripts can read it; where
  // there is none, a message box shows it under the main window's title.
  // Fails when a console could not write it out.
  virtual Result<void> ShowText(const std::string& text, Icon icon, ConsoleStream) {
    ShowMessage(text, "", icon);
    return {};
  }
  // Whether ShowText shows in a message box, whose font lines up no
  // columns and which breaks a line too wide for it, rather than on a
  // console in fixed columns.
  virtual bool ShowsTextInBox() const { return true; }

 private:
  std::mutex wakeMutex_;
  std::condition_variable wakeUp_;
  bool woken_ = false;
};

// The system's own: the console on POSIX systems, dialogs on Windows, which
// belong to a main window of the given title that has no area on screen.
// The progress window's button requests a stop from `stop`; once one is
// requested, a console's prompt reads as the end of the input.
std::unique_ptr<UserInterface> MakeSystemUserInterface(const std::string& mainWindowTitle,
                                                       StopSource& stop,
                                                       const UserInterfaceWords& words);

}  // namespace traskel
