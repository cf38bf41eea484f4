// The console stand-in for message boxes and the open-file dialog: messages
// go to stderr, the file name is read from stdin, with line editing and
// file-name completion when a user types it on a terminal.
#include <editline/readline.h>
#include <poll.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <streambuf>

#include "platform/console.h"
#include "platform/console_ui.h"
#include "platform/file_system.h"
#include "platform/user_interface.h"

namespace traskel {
namespace {

// How often a prompt that waits for input looks whether a stop was asked for.
constexpr int kStopLookMs = 100;

// Up to size bytes of standard input; 0 at its end, and once a stop is
// requested, so that a prompt waiting for an answer gives way to it.
ssize_t ReadUnlessStopped(const StopSource& stop, char* buffer, std::size_t size) {
  for (;;) {
    if (stop.Requested()) return 0;
    pollfd in{STDIN_FILENO, POLLIN, 0};
    // A signal breaks the wait, to be looked at; a poll that fails
    // otherwise leaves it to the read.
    const int ready = ::poll(&in, 1, kStopLookMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    const ssize_t n = ::read(STDIN_FILENO, buffer, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return n;
  }
}

// Standard input as a stream that ends once a stop is requested.
class StoppableInput final : public std::streambuf {
 public:
  explicit StoppableInput(const StopSource& stop) : stop_(stop) {}

 protected:
  int_type underflow() override {
    if (gptr() == egptr()) {
      const ssize_t n = ReadUnlessStopped(stop_, buffer_, sizeof buffer_);
      if (n <= 0) return traits_type::eof();
      setg(buffer_, buffer_, buffer_ + n);
    }
    return traits_type::to_int_type(*gptr());
  }

 private:
  const StopSource& stop_;
  char buffer_[4096];
};

// In the order of Icon's values.
constexpr const char* kIconWords[] = {"none", "critical", "exclamation", "information", "question"};

class ConsoleUserInterface : public UserInterface {
 public:
  // With progressLine, a long task's progress shows on the terminal's status
  // line.
  ConsoleUserInterface(const UserInterfaceWords& words, std::istream& in, std::ostream& out,
                       bool echo, std::ostream& answers, bool progressLine = false,
                       bool questionsReachUser = true)
      : words_(words),
        in_(in),
        out_(out),
        echo_(echo),
        answers_(answers),
        progressLine_(progressLine),
        questionsReachUser_(questionsReachUser) {}

  // Texts break lines with CR LF for the dialog; a terminal wants LF, and
  // what a line of a file brings must not steer it. A status line on the
  // same terminal is ended first.
  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    console::EndStatus();
    out_ << "--- " << TerminalText(title, false) << " [" << kIconWords[static_cast<int>(icon)]
         << "] ---\n"
         << TerminalText(text, true) << '\n'
         << std::flush;
  }

  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    return Ask(text, title, icon, words_.retryOrCancel, {Answer::Retry, Answer::Cancel}, true);
  }

  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) override {
    return Ask(text, title, icon, words_.yesNoCancel, {Answer::Yes, Answer::No, Answer::Cancel},
               false);
  }

  // The folder may come from a value every user of the machine shares: it
  // must not steer the terminal either.
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    out_ << TerminalText(request.title, false) << '\n'
         << words_.filter << TerminalText(request.filter, false) << '\n'
         << words_.folder
         << (request.initialDir.empty() ? words_.defaultFolder
                                        : TerminalText(request.initialDir, false))
         << '\n'
         << std::flush;
    std::optional<std::string> line = ReadAnswer(words_.file.c_str());
    if (!line || line->empty()) return std::nullopt;
    return AbsolutePath(*line);
  }

  bool QuestionsReachUser() const override { return questionsReachUser_; }

  // The console has no event queue.
  void PumpEvents() override {}

  // In front of the status text the host may show on the same line.
  void ShowProgress(const ProgressView& view) override {
    if (!progressLine_) return;
    std::string line = view.position;
    if (!view.times.empty()) line += ", " + view.times;
    if (view.silent) line += " " + words_.silentHint;
    console::ShowStatusPrefix(line);
    progressShown_ = true;
  }

  // The status line gives way to the text, which stays.
  void FinishProgress(const std::string& text) override {
    if (!progressShown_) return;
    CloseProgress();
    console::ClearStatus();
    out_ << TerminalText(text, true) << '\n' << std::flush;
  }

  void CloseProgress() override {
    if (!progressShown_) return;
    console::ShowStatusPrefix("");
    progressShown_ = false;
  }

  Result<void> ShowText(const std::string& text, Icon, ConsoleStream stream) override {
    std::ostream& to = stream == ConsoleStream::Output ? answers_ : out_;
    errno = 0;
    to << TerminalText(text, true) << '\n' << std::flush;
    if (to) return {};
    // The stream keeps no error of its own; the failed write left it in errno.
    const Failure failure = SystemFailure(errno != 0 ? errno : EIO);
    to.clear();
    return failure;
  }

  bool ShowsTextInBox() const override { return false; }

 protected:
  // One answer line without its newline; nothing at the end of the input.
  virtual std::optional<std::string> ReadAnswer(const char* prompt) {
    out_ << prompt << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      // End the prompt's line so later output starts on a line of its own.
      out_ << '\n' << std::flush;
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Typed answers end their line on the terminal; piped ones must be shown.
    if (echo_) out_ << TerminalText(line, false) << '\n' << std::flush;
    return line;
  }

  // Where the dialog and the messages go.
  std::ostream& out() { return out_; }

 private:
  // The box, then a prompt until an answer is the key the prompt shows for
  // one of the answers, in either case; an empty line is the first, when it
  // is the default, and the end of the input is Cancel, as closing the box
  // would be.
  Answer Ask(const std::string& text, const std::string& title, Icon icon,
             const std::string& prompt, std::initializer_list<Answer> answers, bool emptyIsFirst) {
    ShowMessage(text, title, icon);
    for (;;) {
      const std::optional<std::string> line = ReadAnswer(prompt.c_str());
      if (!line) return Answer::Cancel;
      if (line->empty() && emptyIsFirst) return *answers.begin();
      if (line->size() != 1) continue;
      std::size_t key = 0;
      for (Answer answer : answers) {
        key = prompt.find('[', key) + 1;
        if (key == 0 || key == prompt.size()) break;
        if (::strncasecmp(&prompt[key], line->c_str(), 1) == 0) return answer;
      }
    }
  }

  const UserInterfaceWords& words_;
  std::istream& in_;
  std::ostream& out_;
  bool echo_;
  std::ostream& answers_;
  bool progressLine_;
  bool questionsReachUser_;
  bool progressShown_ = false;
};

// Made before the console that reads it.
struct StoppableStdin {
  explicit StoppableStdin(const StopSource& stop) : input(stop) {}
  StoppableInput input;
  std::istream stream{&input};
};

// The console of this process: standard input that gives way to a stop.
class SystemConsole : private StoppableStdin, public ConsoleUserInterface {
 public:
  SystemConsole(const UserInterfaceWords& words, const StopSource& stop, bool questionsReachUser)
      : StoppableStdin(stop),
        ConsoleUserInterface(words, stream, std::cerr, !::isatty(STDIN_FILENO), std::cout,
                             console::IsTerminal(), questionsReachUser) {}
};

// The whole answer line is one file name: spaces are part of it, and nothing
// in it is quoted.
char kNoWordBreaks[] = "";

// Tab on the answer: the file names that start with it. A single match that
// is a folder gets its '/' so that the next Tab goes on inside it; a file
// gets nothing, as it is the whole answer.
char** CompleteFileName(const char* text, int, int) {
  rl_attempted_completion_over = 1;  // no fallback that would quote the names
  char** matches = rl_completion_matches(text, rl_filename_completion_function);
  rl_completion_append_character = '\0';
  const bool single = matches != nullptr && (matches[1] == nullptr || matches[2] == nullptr);
  struct stat info;
  if (single && ::stat(matches[0], &info) == 0 && S_ISDIR(info.st_mode)) {
    rl_completion_append_character = '/';
  }
  return matches;
}

// The stop that the terminal's line editing gives way to.
const StopSource* editingStop = nullptr;

// One byte of the typing, or the end once a stop is requested.
int TypedByte(FILE*) {
  char c;
  return ReadUnlessStopped(*editingStop, &c, 1) == 1 ? static_cast<unsigned char>(c) : EOF;
}

// A user at a terminal: the answer is read with line editing, Tab completes
// file names, and earlier answers of this process come back with the arrow keys.
class TerminalUserInterface : public ConsoleUserInterface {
 public:
  TerminalUserInterface(const UserInterfaceWords& words, const StopSource& stop)
      : ConsoleUserInterface(words, std::cin, std::cerr, false, std::cout, true) {
    editingStop = &stop;
    rl_getc_function = TypedByte;
    // The process's own handlers take the signals; the line editor's would
    // end the process.
    rl_catch_signals = 0;
    rl_readline_name = "traskel";
    rl_instream = stdin;
    // The prompt and the typing go where the dialog goes: stdout is for
    // the answers that scripts read.
    rl_outstream = stderr;
    rl_attempted_completion_function = CompleteFileName;
    rl_completer_word_break_characters = kNoWordBreaks;
  }

 protected:
  std::optional<std::string> ReadAnswer(const char* prompt) override {
    out() << std::flush;
    char* typed = readline(prompt);
    if (typed == nullptr) {
      out() << '\n' << std::flush;  // Ctrl-D leaves the cursor after the prompt
      return std::nullopt;
    }
    std::string line = typed;
    std::free(typed);
    if (!line.empty()) add_history(line.c_str());
    return line;
  }
};

}  // namespace

std::unique_ptr<UserInterface> MakeConsoleUserInterface(std::istream& in, std::ostream& out,
                                                        const UserInterfaceWords& words,
                                                        bool echoAnswers, std::ostream& answers) {
  return std::make_unique<ConsoleUserInterface>(words, in, out, echoAnswers, answers);
}

// A console has no main window to title.
std::unique_ptr<UserInterface> MakeSystemUserInterface(const std::string&, StopSource& stop,
                                                       const UserInterfaceWords& words) {
  // Line editing only when the user both types and sees the line: with
  // stderr redirected, the echo of the typing would go into the file. A
  // question is put only there too: with either redirected, no one may see
  // it, or the answer would come from a file.
  if (::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO)) {
    return std::make_unique<TerminalUserInterface>(words, stop);
  }
  return std::make_unique<SystemConsole>(words, stop, false);
}

}  // namespace traskel
