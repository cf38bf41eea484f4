// The console stand-in for message boxes and the open-file dialog: messages
// go to stderr, the file name is read from stdin.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "platform/console.h"
#include "platform/console_ui.h"
#include "platform/user_interface.h"

namespace traskel {
namespace {

const char* IconWord(Icon icon) {
  switch (icon) {
    case Icon::Critical:
      return "critical";
    case Icon::Exclamation:
      return "exclamation";
    case Icon::Information:
      return "information";
    case Icon::None:
      break;
  }
  return "none";
}

class ConsoleUserInterface : public UserInterface {
 public:
  ConsoleUserInterface(std::istream& in, std::ostream& out, bool echo)
      : in_(in), out_(out), echo_(echo) {}

  // Texts break lines with CR LF for the dialog; a terminal wants LF, and
  // what a line of the export brings must not steer it. A progress line on
  // the same terminal is ended first.
  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    console::EndProgress();
    out_ << "--- " << TerminalText(title, false) << " [" << IconWord(icon) << "] ---\n"
         << TerminalText(text, true) << '\n'
         << std::flush;
  }

  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    out_ << request.title << '\n'
         << "Filter: " << request.filter << '\n'
         << "Verzeichnis: " << (request.initialDir.empty() ? "(default)" : request.initialDir)
         << '\n'
         << "Datei: " << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      // End the prompt's line so later output starts on a line of its own.
      out_ << '\n' << std::flush;
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Typed answers end their line on the terminal; piped ones must be shown.
    if (echo_) out_ << line << '\n' << std::flush;
    if (line.empty()) return std::nullopt;
    std::error_code error;
    std::filesystem::path chosen = std::filesystem::absolute(line, error);
    // Without a current directory the name stays as typed; the caller's
    // existence check then decides.
    if (error) chosen = line;
    return chosen.lexically_normal().string();
  }

  // The console has no event queue.
  void PumpEvents() override {}

 private:
  std::istream& in_;
  std::ostream& out_;
  bool echo_;
};

}  // namespace

std::unique_ptr<UserInterface> MakeConsoleUserInterface(std::istream& in, std::ostream& out,
                                                        bool echoAnswers) {
  return std::make_unique<ConsoleUserInterface>(in, out, echoAnswers);
}

std::unique_ptr<UserInterface> MakeSystemUserInterface() {
  return MakeConsoleUserInterface(std::cin, std::cerr, !::isatty(STDIN_FILENO));
}

}  // namespace traskel
