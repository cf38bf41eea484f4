// Whole runs of the program, in process, in which the file and settings
// operations fail one at a time: every operation of a clean run in turn, with
// each error of the platform, and after each run what must hold, whatever
// failed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/form1.h"
#include "app/program.h"
#include "support/failing_platform.h"
#include "support/test_bed.h"

namespace traskel::testing {

struct SweepCase {
  const char* name;
  ExitStatus clean;        // how the run ends when nothing fails
  bool log = false;        // with a call log, in place of an earlier run's
  bool check = false;      // --pruefen instead of a conversion
  bool remembered = true;  // a path remembered from an earlier run; else no settings at all
  bool copyHeld = false;   // another run holds the copy
};

inline const SweepCase kSweepCases[] = {
    {.name = "conversion with a call log", .clean = kConverted, .log = true},
    {.name = "check", .clean = kConverted, .check = true},
    {.name = "first run without settings", .clean = kConverted, .remembered = false},
    {.name = "copy held by another run", .clean = kNotChosen, .copyHeld = true},
};

// What differs by platform.
struct SweepPlatform {
  std::vector<long> errors;  // each fault is one of these system errors
  // The store a run uses: over the failing file system, or around the
  // system's own store.
  std::function<std::unique_ptr<SettingsStore>(FileSystem& failing, FaultPlan& plan)> settings;
  // The remembered path as it is stored, past any failure; "" for none.
  std::function<void(const std::string& path)> remember;
  std::function<std::string()> remembered;
};

class FaultSweep {
 public:
  FaultSweep(const TempFolder& folder, SweepPlatform platform, std::string exportText)
      : folder_(folder), platform_(std::move(platform)), exportText_(std::move(exportText)) {}

  // The clean run, then one run for every operation it asked for and every
  // error. The number of operations.
  std::int64_t Sweep(const SweepCase& c) {
    FaultPlan counting;
    const Outcome clean = RunOnce(c, counting);
    std::string why = clean.status != c.clean ? "the clean run ended otherwise"
                                              : Broken(c, clean, clean, counting);
    if (!why.empty()) {
      Note(c, counting, clean, why);
      return 0;
    }
    for (std::int64_t k = 1; k <= counting.count(); ++k) {
      for (long code : platform_.errors) {
        FaultPlan plan(k, code);
        const Outcome outcome = RunOnce(c, plan);
        ++injected;
        why = Broken(c, clean, outcome, plan);
        if (why.empty()) {
          ++survived;
        } else {
          Note(c, plan, outcome, why);
        }
      }
    }
    return counting.count();
  }

  std::string Figure() const {
    return std::to_string(survived) + " of " + std::to_string(injected) +
           " injected faults survived";
  }

  std::int64_t injected = 0;
  std::int64_t survived = 0;
  std::string broken;  // the first few runs that broke a promise

 private:
  struct Outcome {
    int status = 0;
    std::vector<std::string> messages;
    std::vector<std::string> trace;
    std::string exportText, remembered, log, copy;
    bool copyExists = false;
    std::vector<std::string> leftOver;  // files none of the run's
  };

  std::string File(const char* name) const { return AbsolutePath(folder_ / name); }

  Outcome RunOnce(const SweepCase& c, FaultPlan& plan) {
    const std::string exportFile = File("bauteil.csv"), copy = CopyPathFor(exportFile);
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      std::filesystem::remove_all(entry.path());
    }
    folder_.Write("bauteil.csv", exportText_);
    if (c.log) folder_.Write("protokoll.txt", kEarlierLog);
    platform_.remember(c.remembered ? Earlier() : "");
    SystemFileSystem system;
    std::unique_ptr<HeldFile> other;
    if (c.copyHeld) {
      Result<std::unique_ptr<HeldFile>> taken = system.TakeFile(copy);
      if (taken && (*taken)->Write(kOtherCopy)) other = std::move(*taken);
    }

    Outcome o;
    std::vector<std::string> known;
    {
      FailingFileSystem files(system, plan);
      std::unique_ptr<SettingsStore> settings = platform_.settings(files, plan);
      known = settings->ValuesFiles();
      FakeUi ui;
      ProgramParts parts{
          ui, ui.stop, *settings, files, NumberFormat{}, [&o] {
            return std::make_unique<quorvex_sim::SimHost>(QuietHost(TracingInto(o.trace)));
          }};
      std::vector<std::string> arguments;
      if (c.check) arguments.push_back("--pruefen");
      if (c.log) arguments.insert(arguments.end(), {"--protokoll", File("protokoll.txt")});
      arguments.push_back(exportFile);
      o.status = RunProgram(ReadCommandLine(arguments), parts);
      for (const Message& m : ui.messages) o.messages.push_back(m.text);
    }
    o.exportText = ReadAll(exportFile);
    o.remembered = platform_.remembered();
    o.log = ReadAll(File("protokoll.txt"));
    o.copyExists = std::filesystem::exists(copy);
    // The holder's own handle reads it: on Windows no other may open it.
    o.copy = other ? Contents(*other) : ReadAll(copy);
    other.reset();
    known.insert(known.end(), {exportFile, copy, File("protokoll.txt")});
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_.path())) {
      std::error_code same;
      if (!entry.is_directory() && std::none_of(known.begin(), known.end(), [&](auto& k) {
            return std::filesystem::equivalent(entry.path(), k, same);
          })) {
        o.leftOver.push_back(entry.path().filename().string());
      }
    }
    return o;
  }

  // The first promise the run broke; empty when it kept them all.
  std::string Broken(const SweepCase& c, const Outcome& clean, const Outcome& o,
                     const FaultPlan& plan) const {
    const auto said = [&o](const std::string& text) {
      return std::any_of(o.messages.begin(), o.messages.end(),
                         [&](const std::string& m) { return m.find(text) != std::string::npos; });
    };
    const std::string copy = CopyPathFor(File("bauteil.csv")), log = File("protokoll.txt");
    if (plan.failAt() > 0 && !plan.fault()) return "the operation to fail never came";
    if (o.exportText != exportText_) return "the export changed";
    if (o.remembered != File("bauteil.csv") && o.remembered != (c.remembered ? Earlier() : "")) {
      return "the remembered path is \"" + o.remembered + "\"";
    }
    if (o.status == kConverted && o.trace != clean.trace) {
      return "status 0, but the host got another sequence";
    }
    if (c.copyHeld && o.copy != kOtherCopy) return "the other run's copy changed";
    if (!c.copyHeld && o.copyExists && !said(copy)) return "a copy is left behind unnamed";
    if (c.log) {
      // Whole lines, each the host's own; the embedded host and the log
      // put results alike.
      const std::vector<std::string> logged = LinesOf(o.log);
      const bool whole = (o.log.empty() || o.log.back() == '\n') &&
                         logged.size() <= o.trace.size() &&
                         std::equal(logged.begin(), logged.end(), o.trace.begin());
      if (o.log != kEarlierLog && !whole) return "the call log is damaged";
      // A failed close may have cost what the system still held of it.
      const auto& f = plan.fault();
      const bool closeFailed = f && f->what == log && f->operation == "close";
      if ((logged != o.trace || closeFailed) && !said(log)) {
        return "the call log is incomplete without a word";
      }
    }
    for (const std::string& name : o.leftOver) {
      if (!said(name)) return "left behind unnamed: " + name;
    }
    // A fault that changed how the run ended is named with its reason. The
    // remembered path that could not be stored keeps its established
    // message, and the run its status.
    const bool told = o.status != clean.status;
    if (plan.fault() && told && !(said(plan.fault()->what) && said(plan.fault()->failure.reason))) {
      return "no message names " + plan.fault()->what + " and \"" + plan.fault()->failure.reason +
             "\"";
    }
    return "";
  }

  void Note(const SweepCase& c, const FaultPlan& plan, const Outcome& o, const std::string& why) {
    constexpr int kShown = 10;
    if (++notes_ > kShown) return;
    broken += std::string(c.name) + ", ";
    if (const auto& f = plan.fault()) {
      broken += "operation " + std::to_string(plan.failAt()) + " (" + f->operation + " " + f->what +
                ") failing with \"" + f->failure.reason + "\"";
    } else {
      broken += "nothing failing";
    }
    broken += ": " + why + "; status " + std::to_string(o.status) + ", messages:";
    for (const std::string& m : o.messages) broken += "\n  | " + m;
    broken += "\n";
  }

  static std::string Contents(HeldFile& file) {
    std::string text;
    char buffer[4096];
    if (!file.Rewind()) return "unreadable";
    for (Result<std::size_t> n = file.Read(buffer, sizeof buffer); n && *n > 0;
         n = file.Read(buffer, sizeof buffer)) {
      text.append(buffer, *n);
    }
    return text;
  }

  std::string Earlier() const { return File("frueher.csv"); }

  static constexpr const char* kEarlierLog = "create \"Quorvex.Application\" -> Obj:Application\n";
  static constexpr const char* kOtherCopy = "the other run's copy\r\n";

  const TempFolder& folder_;
  SweepPlatform platform_;
  std::string exportText_;
  int notes_ = 0;
};

}  // namespace traskel::testing
