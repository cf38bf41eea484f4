// Time per host call through the COM client against the registered
// simulated host, run by hand under wine; never a test.
//
//   com_call_bench [--local-server] [--calls N] [--records N]
//   com_call_bench --pump [--calls N]
//   com_call_bench --run EXPORT [--steps] [--dialog]
//   com_call_bench --run EXPORT --progress [--dialog] [--rounds N]
//
// --local-server asks COM for the classes out of process only (the DLL in a
// surrogate, registered by hand); otherwise the client creates them as the
// run does, from whichever server is registered. Wine 8 starts one
// surrogate per class, so there FeatureData 60 gets a point data of another
// process and refuses it (error 13).
//
// Each line gives a kind of call, how many, the time per call and, for whole
// records, records per second.
//
// --pump times one event pump of the system's user interface with nothing
// to do, as the run pumps once a line: on a thread without windows, and on
// one with a window.
//
// --run converts EXPORT as traskel.exe does once the file is chosen: the
// copy written beside it, the connection, every line with its status text
// and one pump, the copy deleted. It prints the time per line from the
// written copy to its deletion. With --steps it walks the lines itself
// instead and adds up the time of each step of a line. With --dialog it
// shows the open dialog first (its answer does not matter), so that the
// run goes on in a thread that has shown it, as traskel.exe's has.
//
// --progress converts EXPORT in rounds (5 unless --rounds says), each once
// without and once with the progress window, which the conversion shows as
// in the program: once the run has lasted a second, and then ten times a
// second at most; the order changes each round. It prints each run, with the
// time spent in the event pumps and in the window's updates, and the ratio
// of the whole runs, with the window to without.
#include <windows.h>
// After windows.h, which they need.
#include <oaidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/implementations.h"
#include "app/intake.h"
#include "bench/sample_records.h"
#include "conversion/connection.h"
#include "conversion/conversion.h"
#include "conversion/run.h"
#include "host/com_automation.h"
#include "host/com_client_win32.h"
#include "host/com_win32.h"
#include "host/value.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/user_interface.h"
#include "platform/wide_text_win32.h"

namespace {

using namespace traskel;
using host::Value;

class SilentUi : public UserInterface {
 public:
  void ShowMessage(const std::string& text, const std::string& title, Icon) override {
    std::fprintf(stderr, "message: %s %s\n", title.c_str(), text.c_str());
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return {}; }
  void PumpEvents() override {}
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon) override {
    std::fprintf(stderr, "question: %s %s\n", title.c_str(), text.c_str());
    return Answer::Cancel;
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon) override {
    std::fprintf(stderr, "question: %s %s\n", title.c_str(), text.c_str());
    return Answer::Cancel;
  }
};

// The client's objects, but created out of process only, so COM has to go
// through the surrogate.
class LocalServerAutomation : public host::Automation {
 public:
  host::ObjectPtr CreateObject(const std::string& className) override {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(Utf16(className).c_str(), &clsid);
    if (FAILED(hr)) throw host::com::ErrorFromHresult(hr);
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&dispatch));
    if (FAILED(hr)) throw host::com::ErrorFromHresult(hr);
    return host::com::WrapDispatch(dispatch.Get());
  }

 private:
  ComApartment apartment_;
};

// Counts the calls a record makes, against objects that answer like the host
// without doing anything.
class CountingObject : public host::Object, public std::enable_shared_from_this<CountingObject> {
 public:
  explicit CountingObject(long& calls) : calls_(calls) {}
  Value Get(host::DispId) override {
    ++calls_;
    return host::Obj(shared_from_this());
  }
  void Put(host::DispId, const Value&) override { ++calls_; }
  Value Call(host::DispId id, std::span<const host::Arg>) override {
    ++calls_;
    if (id == 8) return host::Obj(shared_from_this());
    if (id == 60) return host::Bool(true);
    return Value();
  }

 private:
  long& calls_;
};

const std::vector<std::string> kMixedRecords = bench::SampleRecords();
const std::vector<std::string> kPointRecords = {kMixedRecords[0]};

Platform& QuietPlatform(host::Automation& automation) {
  static SilentUi ui;
  static SystemFileSystem files;
  static const StopSource never;  // these runs are never stopped
  static std::vector<std::unique_ptr<Platform>> platforms;
  platforms.push_back(
      std::make_unique<Platform>(Platform{ui, automation, NumberFormat{}, files, never}));
  return *platforms.back();
}

// Host calls of one pass over the records.
long CallsPerPass(const std::vector<std::string>& records) {
  long calls = 0;
  struct Counting : host::Automation {
    explicit Counting(long& c) : calls(c) {}
    host::ObjectPtr CreateObject(const std::string&) override {
      return std::make_shared<CountingObject>(calls);
    }
    long& calls;
  } automation(calls);
  Run run(QuietPlatform(automation));
  run.PointData = automation.CreateObject("");
  run.CMDS = automation.CreateObject("");
  for (const std::string& line : records) {
    SplitFields(run.Fields, line);
    DispatchRecord(run, line);
  }
  return calls;
}

template <typename F>
double Seconds(long n, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) f(i);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* kind, long calls, double seconds) {
  std::printf("%-46s calls %9ld  us/call %8.3f\n", kind, calls, seconds * 1e6 / calls);
}

void ReportRecords(const char* kind, long records, long callsPerRecordPass, long pass,
                   double seconds) {
  const double calls = static_cast<double>(records) * callsPerRecordPass / pass;
  std::printf("%-46s calls %9.0f  us/call %8.3f  records/s %9.0f  calls/record %.2f\n", kind, calls,
              seconds * 1e6 / calls, records / seconds,
              static_cast<double>(callsPerRecordPass) / pass);
}

void TimeRecords(Run& run, const char* kind, const std::vector<std::string>& records, long n) {
  const auto each = [&](long i) {
    const std::string& line = records[static_cast<std::size_t>(i) % records.size()];
    SplitFields(run.Fields, line);
    DispatchRecord(run, line);
  };
  Seconds(std::min<long>(n / 10, 1000), each);  // warm-up
  const double seconds = Seconds(n, each);
  ReportRecords(kind, n, CallsPerPass(records), static_cast<long>(records.size()), seconds);
}

// A kind that fails is reported and the others still run.
template <typename F>
bool Attempt(const char* kind, F&& f) {
  try {
    f();
    return true;
  } catch (const host::Error& e) {
    std::printf("%-46s failed: error %d: %s\n", kind, e.number(), e.text().c_str());
    return false;
  }
}

int Bench(host::Automation& automation, long calls, long records) {
  Run run(QuietPlatform(automation));
  if (!fktStartQuorvex(run)) return 3;

  bool all = true;
  const auto time = [&](const char* kind, auto&& call) {
    all &= Attempt(kind, [&] {
      Seconds(std::min<long>(calls / 10, 1000), call);  // warm-up
      Report(kind, calls, Seconds(calls, call));
    });
  };
  const std::string status = "50% Bearbeite Zeile: " + kMixedRecords[0];
  time("Application put 9 Str (status text)",
       [&](long) { run.Application.Put(9, host::Str(status)); });
  time("PointData put 1 R8", [&](long i) { run.PointData.Put(1, host::R8(0.5 * i)); });
  time("PointData call 7 R8 R8 R8",
       [&](long i) { run.PointData.Call(7, host::R8(i), host::R8(-0.25), host::R8(1e3)); });

  // One feature command whose FeatureData takes the point data again and again.
  Value code = host::I4(603);
  run.Cmd = host::AsObject(run.CMDS.Call(8, host::ByRef(code), host::Bool(true)));
  run.FeatureData = host::AsObject(run.Cmd.Get(9));
  time("FeatureData call 60 ByRef Obj,I4,I4,I4,Str,I4", [&](long) {
    Value point = host::Obj(run.PointData.ptr());
    run.FeatureData.Call(60, host::ByRef(point), host::I4(0), host::I4(100), host::I4(13),
                         host::Str(""), host::I4(0));
  });

  for (const auto& [kind, sample] :
       {std::pair{"PT record (SplitFields + DispatchRecord)", &kPointRecords},
        std::pair{"mixed records (16 types, as in bench/)", &kMixedRecords}}) {
    all &= Attempt(kind, [&] { TimeRecords(run, kind, *sample, records); });
  }
  return all ? 0 : 1;
}

// The system's user interface, quiet: its message boxes would wait for a
// click.
class PumpingUi : public UserInterface {
 public:
  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    silent_.ShowMessage(text, title, icon);
  }
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    return silent_.AskRetryOrCancel(text, title, icon);
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) override {
    return silent_.AskYesNoCancel(text, title, icon);
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    return system_->ChooseFile(request);
  }
  void PumpEvents() override {
    const auto start = std::chrono::steady_clock::now();
    system_->PumpEvents();
    pumping_ += std::chrono::steady_clock::now() - start;
  }

  // With the window on, the progress the run shows goes to the system's
  // window; off, nowhere, as in a run too short for it.
  void ShowProgressWindow(bool on) {
    window_ = on;
    pumping_ = updating_ = {};
    updates_ = 0;
  }
  void ShowProgress(const ProgressView& view) override {
    if (!window_) return;
    const auto start = std::chrono::steady_clock::now();
    system_->ShowProgress(view);
    updating_ += std::chrono::steady_clock::now() - start;
    ++updates_;
  }
  // Seconds in the pumps, and in the window's updates, since the window was
  // last switched; the number of updates.
  double Pumping() const { return std::chrono::duration<double>(pumping_).count(); }
  double Updating() const { return std::chrono::duration<double>(updating_).count(); }
  long Updates() const { return updates_; }
  // A finished window would wait for its button.
  void FinishProgress(const std::string&) override { CloseProgress(); }
  void CloseProgress() override { system_->CloseProgress(); }

 private:
  SilentUi silent_;
  StopSource stop_;  // its button's; the runs here are never stopped
  std::unique_ptr<UserInterface> system_ = MakeUserInterface(stop_);
  bool window_ = false;
  std::chrono::steady_clock::duration pumping_{}, updating_{};
  long updates_ = 0;
};

// Time per call of f, as the median of `blocks` blocks: other work on the
// machine stalls some blocks by a multiple, which a median ignores.
template <typename F>
double MedianPerCall(long calls, int blocks, F&& f) {
  std::vector<double> perCall;
  for (int b = 0; b < blocks; ++b) perCall.push_back(Seconds(calls / blocks, f) / (calls / blocks));
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

int Pump(long calls) {
  PumpingUi ui;
  const auto pump = [&](long) { ui.PumpEvents(); };
  Seconds(std::min<long>(calls / 10, 1000), pump);  // warm-up
  std::printf("%-46s calls %9ld  us/call %8.3f  (median of 50 blocks)\n",
              "event pump, nothing pending", calls, MedianPerCall(calls, 50, pump) * 1e6);
  // As in traskel.exe, whose thread has shown the file dialog: wine then
  // polls the display connection as well.
  const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  Seconds(std::min<long>(calls / 10, 1000), pump);
  std::printf("%-46s calls %9ld  us/call %8.3f  (median of 50 blocks)\n",
              "event pump, nothing pending, thread has a window", calls,
              MedianPerCall(calls, 50, pump) * 1e6);
  DestroyWindow(window);
  return 0;
}

// The lines of the normalised copy, as the driver cuts them.
std::vector<std::string> CopyLines(const std::string& copy) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < copy.size()) {
    std::size_t end = copy.find('\r', begin);
    if (end == std::string::npos) end = copy.size();
    lines.push_back(copy.substr(begin, end - begin));
    begin = end + 1;
    if (begin < copy.size() && copy[begin] == '\n') ++begin;
  }
  return lines;
}

// The held copy's text: no one else may open it while the run holds it.
std::string ReadWhole(HeldCopy& copy) {
  std::string text;
  if (!copy.file->Rewind()) return text;
  char buffer[1 << 16];
  for (;;) {
    const Result<std::size_t> n = copy.file->Read(buffer, sizeof buffer);
    if (!n || *n == 0) return text;
    text.append(buffer, *n);
  }
}

// Each step of a line as the driver takes it, timed apart; the whole line
// and the clock's own cost are printed too.
int Steps(Run& run) {
  const std::string copy = ReadWhole(run.copy);
  const std::vector<std::string> raw = CopyLines(copy);
  enum Step { kRead, kDecode, kProgress, kStatus, kPump, kSplit, kDispatch, kSteps };
  const char* const names[kSteps] = {"read the line",     "decode it",  "progress text",
                                     "status text put",   "event pump", "trim and split",
                                     "dispatch, builders"};
  double spent[kSteps] = {};
  using Clock = std::chrono::steady_clock;
  const auto total = Clock::now();
  std::size_t consumed = 0;
  std::string line;
  for (std::size_t n = 0; n < raw.size(); ++n) {
    Clock::time_point t[kSteps + 1];
    t[kRead] = Clock::now();
    line = raw[n];
    consumed += line.size() + 2;
    t[kDecode] = Clock::now();
    run.line = DecodeText(line, run.copy.encoding);
    t[kProgress] = Clock::now();
    const auto percent = static_cast<long long>(
        static_cast<double>(consumed) / static_cast<double>(copy.size()) * 100.0 + 0.5);
    std::string progress = std::to_string(percent) + "% Bearbeite Zeile: " + run.line;
    t[kStatus] = Clock::now();
    run.Application.Put(9, host::Str(std::move(progress)));
    t[kPump] = Clock::now();
    run.platform.ui.PumpEvents();
    t[kSplit] = Clock::now();
    const std::string trimmed(TrimSpaces(run.line));
    if (n >= 10) SplitFields(run.Fields, trimmed);
    t[kDispatch] = Clock::now();
    if (n < 10) {
      AddComment(run, trimmed);
    } else {
      DispatchRecord(run, trimmed);
    }
    t[kSteps] = Clock::now();
    for (int s = 0; s < kSteps; ++s) {
      spent[s] += std::chrono::duration<double>(t[s + 1] - t[s]).count();
    }
  }
  const double all = std::chrono::duration<double>(Clock::now() - total).count();
  const auto perLine = [&](double seconds) { return seconds * 1e6 / raw.size(); };
  for (int s = 0; s < kSteps; ++s) {
    std::printf("%-24s us/line %8.3f\n", names[s], perLine(spent[s]));
  }
  const double clock = Seconds(1'000'000, [](long) { (void)Clock::now(); }) / 1e6;
  std::printf("%-24s us/line %8.3f  (%zu lines; one reading of the clock %.3f us)\n", "whole line",
              perLine(all), raw.size(), clock * 1e6);
  return 0;
}

// One whole run of the export, from the written copy to its deletion: its
// seconds, or nothing when it failed.
std::optional<double> ConvertOnce(host::Automation& automation, PumpingUi& ui,
                                  const std::string& exportPath, bool steps, bool progress) {
  // The host as the program talks to it, behind the wait for a busy host.
  HostWrappers wrapped = WrapHost(automation, nullptr, ui);
  SystemFileSystem files;
  const StopSource never;
  Platform platform{ui, *wrapped.wait, NumberFormat{}, files, never};
  Run run(platform);
  run.ImportFile = exportPath;
  const std::string copyPath = CopyPathFor(exportPath);
  if (const Result<void> written =
          WriteNormalisedCopy(files, exportPath, copyPath, run.copy, never);
      !written) {
    std::fprintf(stderr, "%s\n", written.failure().reason.c_str());
    return std::nullopt;
  }
  if (steps) {
    if (!fktStartQuorvex(run)) return std::nullopt;
    Steps(run);
    if (const Result<void> removed = run.copy.file->Remove(); !removed) {
      std::fprintf(stderr, "%s\n", removed.failure().reason.c_str());
    }
    return 0;
  }
  const std::size_t lines = CopyLines(ReadWhole(run.copy)).size();
  ui.ShowProgressWindow(progress);
  const auto start = std::chrono::steady_clock::now();
  const RunOutcome outcome = RunConversion(run);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ui.CloseProgress();
  if (outcome != RunOutcome::Converted) return std::nullopt;
  std::printf(
      "%zu lines%s: from the written copy to its deletion %.3f s, %.2f us/line, %.0f lines/s; "
      "pumps %.3f s, %ld updates of the window %.3f s\n",
      lines, progress ? ", progress window" : "", seconds, seconds * 1e6 / lines, lines / seconds,
      ui.Pumping(), ui.Updates(), ui.Updating());
  std::fflush(stdout);
  return seconds;
}

int Convert(host::Automation& automation, const std::string& exportPath, bool steps, bool dialog,
            int progressRounds) {
  PumpingUi ui;
  if (dialog) ui.ChooseFile({"Auswahl CSV Dateien", "CSV Dateien (*csv)|*.csv|", ""});
  if (progressRounds == 0) {
    return ConvertOnce(automation, ui, exportPath, steps, false) ? 0 : 3;
  }
  // Held for all rounds, so that a host program started for the first
  // serves them all.
  const host::ObjectPtr application = automation.CreateObject("Quorvex.Application");
  std::vector<double> ratios;
  std::array<std::vector<double>, 2> seconds;  // without, with the window
  for (int round = 0; round < progressRounds; ++round) {
    double taken[2];
    for (int i = 0; i < 2; ++i) {
      const bool window = (i + round) % 2 == 1;
      const std::optional<double> run = ConvertOnce(automation, ui, exportPath, false, window);
      if (!run) return 3;
      taken[window] = *run;
      seconds[window].push_back(*run);
    }
    ratios.push_back(taken[1] / taken[0]);
  }
  const auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  const auto fastest = [](const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
  };
  // Other work on the machine only ever adds time: the fastest runs show
  // the window's own cost best.
  std::printf(
      "%d rounds: without the window median %.3f s, fastest %.3f s; with it median %.3f s, "
      "fastest %.3f s; ratio: median of the rounds %.3f, of the fastest %.3f\n",
      progressRounds, median(seconds[0]), fastest(seconds[0]), median(seconds[1]),
      fastest(seconds[1]), median(ratios), fastest(seconds[1]) / fastest(seconds[0]));
  return 0;
}

long Number(const char* text) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || n <= 0) {
    std::fprintf(stderr, "not a positive number: %s\n", text);
    std::exit(2);
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  bool localServer = false, pump = false, steps = false, dialog = false;
  bool progress = false;
  long rounds = 5;
  const char* exportPath = nullptr;
  long calls = 200'000, records = 20'000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--local-server") == 0) {
      localServer = true;
    } else if (std::strcmp(argv[i], "--pump") == 0) {
      pump = true;
    } else if (std::strcmp(argv[i], "--steps") == 0) {
      steps = true;
    } else if (std::strcmp(argv[i], "--dialog") == 0) {
      dialog = true;
    } else if (std::strcmp(argv[i], "--progress") == 0) {
      progress = true;
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = Number(argv[++i]);
    } else if (std::strcmp(argv[i], "--run") == 0 && i + 1 < argc) {
      exportPath = argv[++i];
    } else if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc) {
      calls = Number(argv[++i]);
    } else if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = Number(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: %s [--local-server] [--calls N] [--records N]\n"
                   "       %s --pump [--calls N]\n"
                   "       %s --run EXPORT [--steps] [--dialog]\n"
                   "       %s --run EXPORT --progress [--dialog] [--rounds N]\n",
                   argv[0], argv[0], argv[0], argv[0]);
      return 2;
    }
  }
  if (pump) return Pump(calls);
  try {
    std::unique_ptr<host::Automation> automation;
    if (localServer) {
      automation = std::make_unique<LocalServerAutomation>();
    } else {
      automation = host::MakeComAutomation();
    }
    if (exportPath != nullptr) {
      return Convert(*automation, exportPath, steps, dialog,
                     progress ? static_cast<int>(rounds) : 0);
    }
    std::printf("%s, %ld calls a kind, %ld records\n",
                localServer ? "out of process (CLSCTX_LOCAL_SERVER)" : "client's own context",
                calls, records);
    return Bench(*automation, calls, records);
  } catch (const host::Error& e) {
    std::fprintf(stderr, "error %d: %s\n", e.number(), e.text().c_str());
    return 1;
  }
}
