// A run wired to in-memory stand-ins: a scripted dialog, recorded message
// boxes, a settings map and the simulated host with its trace kept in memory.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/implementations.h"
#include "conversion/run.h"
#include "platform/file_system.h"
#include "platform/settings.h"
#include "platform/user_interface.h"
#include "quorvex_sim/sim_host.h"
#include "support/failing_platform.h"

namespace traskel::testing {

struct Message {
  std::string text;
  std::string title;
  Icon icon;
};

class FakeUi : public UserInterface {
 public:
  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    messages.push_back({text, title, icon});
  }
  // Answers from busyAnswers in turn; Cancel once they are used up, or
  // once a stop is requested, as a console's prompt ends then.
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    questions.push_back({text, title, icon});
    if (Stopped() || busyAnswers.empty()) return Answer::Cancel;
    const Answer answer = busyAnswers.front();
    busyAnswers.pop_front();
    return answer;
  }
  // Answers from choiceAnswers in turn; Cancel as above.
  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) override {
    questions.push_back({text, title, icon});
    if (Stopped() || choiceAnswers.empty()) return Answer::Cancel;
    const Answer answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    requests.push_back(request);
    if (Stopped() || answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool QuestionsReachUser() const override { return questionsReachUser; }
  void PumpEvents() override {
    ++pumps;
    if (onPump) onPump();
    if (stopWhen && stopWhen()) stop.Request();
  }
  void ShowProgress(const ProgressView& view) override { progress.push_back(view); }
  bool KeepWaitingAsked() override { return std::exchange(keepWaiting, false); }
  // As a window does: only one that was shown.
  void FinishProgress(const std::string& text) override {
    if (!progress.empty()) finished.push_back(text);
  }
  void CloseProgress() override { ++closed; }

  std::deque<std::optional<std::string>> answers;
  std::deque<Answer> busyAnswers;
  std::deque<Answer> choiceAnswers;
  std::vector<Message> questions;
  std::vector<FileDialogRequest> requests;
  std::vector<Message> messages;
  int pumps = 0;
  std::function<void()> onPump;  // what happens meanwhile, once a line
  std::vector<ProgressView> progress;
  std::function<bool()> stopWhen;    // whether the user asks to stop, once a line
  std::function<void()> whileAsked;  // what happens while the dialog or a question waits
  StopSource stop;                   // the run's, which the progress window's button asks
  bool questionsReachUser = true;
  bool keepWaiting = false;  // the user chose to wait on a silent host, once
  std::vector<std::string> finished;
  int closed = 0;

 private:
  bool Stopped() {
    if (whileAsked) whileAsked();
    return stop.Requested();
  }
};

class MemorySettings : public SettingsStore {
 public:
  Result<std::string> Read(const std::string& path) override {
    auto it = values.find(path);
    return it == values.end() ? "" : it->second;
  }
  Result<void> Write(const std::string& path, const std::string& value) override {
    ++writes;
    if (!writable) return Failure{0, "not writable"};
    values[path] = value;
    return {};
  }
  Result<std::vector<std::pair<std::string, std::string>>> List(const std::string& key) override {
    std::vector<std::pair<std::string, std::string>> below;
    for (const auto& [path, value] : values) {
      if (path.starts_with(key + "\\") && path.find('\\', key.size() + 1) == std::string::npos) {
        below.emplace_back(path.substr(key.size() + 1), value);
      }
    }
    return below;
  }
  Result<void> Remove(const std::string& path) override {
    ++writes;
    if (!writable) return Failure{0, "not writable"};
    values.erase(path);
    return {};
  }
  std::map<std::string, std::string> values;
  bool writable = true;
  int writes = 0;
};

inline quorvex_sim::Options InState(quorvex_sim::State state) {
  quorvex_sim::Options o;
  o.state = state;
  return o;
}
inline quorvex_sim::Options FailingAt(std::int64_t operation) {
  quorvex_sim::Options o;
  o.failAt = operation;
  return o;
}
inline quorvex_sim::Options HandingBackNewPointData() {
  quorvex_sim::Options o;
  o.handBackNewPointData = true;
  return o;
}

inline quorvex_sim::Options QuietHost(quorvex_sim::Options o = {}) {
  o.showProgress = false;
  o.printListing = false;
  return o;
}

// The host's trace lines collected in `lines`.
inline quorvex_sim::Options TracingInto(std::vector<std::string>& lines,
                                        quorvex_sim::Options o = {}) {
  o.traceSink = [&lines](const std::string& line) { lines.push_back(line); };
  return o;
}

struct TestBed {
  explicit TestBed(quorvex_sim::Options options = {}, NumberFormat numbers = {},
                   host::BusyWait wait = {})
      : host(QuietHost(Traced(std::move(options)))),
        wrapped(WrapHost(host, nullptr, ui, wait)),
        platform{ui, *wrapped.wait, std::move(numbers), watched, ui.stop},
        run(platform) {}

  SystemFileSystem files;
  // Every file operation of the run passes here, failing none, so that a
  // test may act at one.
  FaultPlan fileOperations;
  FailingFileSystem watched{files, fileOperations};
  FakeUi ui;
  MemorySettings settings;
  std::vector<std::string> trace;
  std::function<void(const std::string&)> onTrace;  // each operation the host carried out
  quorvex_sim::SimHost host;
  HostWrappers wrapped;
  Platform platform;
  Run run;

 private:
  quorvex_sim::Options Traced(quorvex_sim::Options o) {
    o.traceSink = [this](const std::string& line) {
      trace.push_back(line);
      if (onTrace) onTrace(line);
    };
    return o;
  }
};

// Trace lines without the informative " -> result" part.
inline std::vector<std::string> WithoutResults(const std::vector<std::string>& lines) {
  static const std::regex result(R"( -> (Obj|Bool|I2|I4|R8|Str)&?:[^ ]*$)");
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(std::regex_replace(l, result, ""));
  return out;
}

// A fresh folder under the system's temporary folder, removed with all it
// holds at the end of the test.
class TempFolder {
 public:
  explicit TempFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    // mkdtemp is not in every C library (mingw's lacks it); create_directory
    // is true only for the caller that made the folder, so the name is ours.
    std::random_device random;
    for (int attempt = 0; path_.empty(); ++attempt) {
      if (attempt == 100) throw std::runtime_error("no fresh temporary folder");
      std::filesystem::path candidate = base / ("traskel-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate.string();
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return File(name); }
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
    return File(name);
  }

 private:
  std::string path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The text's lines, without their line feeds.
inline std::vector<std::string> LinesOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace traskel::testing
