// The console stand-in for message boxes and the open-file dialog: messages
// go to stderr, the file name is read from stdin.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <system_error>

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

// Message texts break lines with CR LF for the dialog; a terminal wants LF,
// and a lone CR would make it overwrite the line.
std::string ConsoleLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

class ConsoleUserInterface : public UserInterface {
 public:
  ConsoleUserInterface(std::istream& in, std::ostream& out, bool echo)
      : in_(in), out_(out), echo_(echo) {}

  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    out_ << "--- " << title << " [" << IconWord(icon) << "] ---\n"
         << ConsoleLines(text) << '\n'
         << std::flush;
  }

  // The box, then a prompt until an answer is one of the buttons'; the end
  // of the input is Cancel, as closing the box would be.
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    ShowMessage(text, title, icon);
    for (;;) {
      out_ << "[W]iederholen/[A]bbrechen: " << std::flush;
      std::string line;
      if (!std::getline(in_, line)) {
        out_ << '\n' << std::flush;
        return Answer::Cancel;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (echo_) out_ << line << '\n' << std::flush;
      if (line.empty() || line == "w" || line == "W") return Answer::Retry;
      if (line == "a" || line == "A") return Answer::Cancel;
    }
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
