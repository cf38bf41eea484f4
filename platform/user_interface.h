// The user interface of a desktop program: message boxes, the open-file
// dialog and the event pump. One implementation per platform.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/result.h"

namespace traskel {

enum class Icon { None, Critical, Exclamation, Information };

// Where a console prints a text of ShowText.
enum class ConsoleStream { Output, Error };

struct FileDialogRequest {
  std::string title;
  std::string filter;        // pairs "text|pattern|", as the dialog control takes them
  std::string initialDir;    // empty: the dialog's own default
  bool hideReadOnly = true;  // no "open read-only" check box
};

// The button a question box was closed with.
enum class Answer { Retry, Cancel };

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Modal, with an OK button; text and title are UTF-8.
  virtual void ShowMessage(const std::string& text, const std::string& title, Icon icon) = 0;
  // Modal, with the buttons Retry, the default, and Cancel.
  virtual Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) = 0;
  // The full path chosen, or nothing when the user cancels.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
  // Lets the platform process pending events once.
  virtual void PumpEvents() = 0;
  // A text to read or to pass on, such as a program's version: a console
  // writes it bare on the stream named, so that scripts can read it; where
  // there is none, a message box shows it under the main window's title.
  // Fails when a console could not write it out.
  virtual Result<void> ShowText(const std::string& text, Icon icon, ConsoleStream) {
    ShowMessage(text, "", icon);
    return {};
  }
};

// The system's own: the console on POSIX systems, dialogs on Windows, which
// belong to a hidden main window of the given title.
std::unique_ptr<UserInterface> MakeSystemUserInterface(const std::string& mainWindowTitle);

}  // namespace traskel
