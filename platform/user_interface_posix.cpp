// The console stand-in for message boxes and the open-file dialog: messages
// go to stderr, the file name is read from stdin.
#include <unistd.h>

#include <iostream>

#include "platform/console_ui.h"
#include "platform/file_system.h"
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
  ConsoleUserInterface(std::istream& in, std::ostream& out, bool echo, std::ostream& answers)
      : in_(in), out_(out), echo_(echo), answers_(answers) {}

  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    out_ << "--- " << title << " [" << IconWord(icon) << "] ---\n"
         << ConsoleLines(text) << '\n'
         << std::flush;
  }

  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    out_ << request.title << '\n'
         << "Filter: " << request.filter << '\n'
         << "Verzeichnis: " << (request.initialDir.empty() ? "(default)" : request.initialDir)
         << '\n'
         << std::flush;
    std::optional<std::string> line = ReadAnswer("Datei: ");
    if (!line || line->empty()) return std::nullopt;
    return AbsolutePath(*line);
  }

  // The console has no event queue.
  void PumpEvents() override {}

  void ShowCommandLineText(const std::string& text, Icon, ConsoleStream stream) override {
    (stream == ConsoleStream::Output ? answers_ : out_) << ConsoleLines(text) << '\n' << std::flush;
  }

 private:
  // One answer line without its newline; nothing at the end of the input.
  std::optional<std::string> ReadAnswer(const char* prompt) {
    out_ << prompt << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      // End the prompt's line so later output starts on a line of its own.
      out_ << '\n' << std::flush;
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Typed answers end their line on the terminal; piped ones must be shown.
    if (echo_) out_ << line << '\n' << std::flush;
    return line;
  }

  std::istream& in_;
  std::ostream& out_;
  bool echo_;
  std::ostream& answers_;
};

}  // namespace

std::unique_ptr<UserInterface> MakeConsoleUserInterface(std::istream& in, std::ostream& out,
                                                        bool echoAnswers, std::ostream& answers) {
  return std::make_unique<ConsoleUserInterface>(in, out, echoAnswers, answers);
}

std::unique_ptr<UserInterface> MakeSystemUserInterface() {
  return MakeConsoleUserInterface(std::cin, std::cerr, !::isatty(STDIN_FILENO), std::cout);
}

}  // namespace traskel
