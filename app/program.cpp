#include "app/program.h"

#include "app/call_log_file.h"
#include "app/check.h"
#include "app/host_thread.h"
#include "app/implementations.h"
#include "app/threaded_ui.h"
#include "conversion/conversion.h"
#include "conversion/titles.h"

namespace traskel {

namespace {

using Clock = std::chrono::steady_clock;

// For HostThread::Run: gives up on the call under way once `until` has come.
std::function<bool(Clock::time_point)> GiveUpAt(host::CallWatch& calls, Clock::time_point until) {
  return [&calls, until](Clock::time_point now) {
    if (now < until) return false;
    calls.GiveUp();
    return true;
  };
}

// The conversion on the host's thread, watched from this one.
class ThreadConverter final : public Converter {
 public:
  ThreadConverter(HostThread& thread, ThreadedUi& ui, host::CallWatch& calls,
                  const StopSource& stop, std::chrono::seconds silence)
      : thread_(thread), ui_(ui), calls_(calls), stop_(stop), silence_(silence) {}

  RunOutcome Convert(Run& run) override {
    // Up a second after the copy was written, whatever the host does.
    HostWatch watch(ui_, calls_, stop_, silence_,
                    {FileNameOf(run.ImportFile), "Verbinde mit Quorvex …", "0:01", 0},
                    std::chrono::steady_clock::now() + std::chrono::seconds(1));
    RunOutcome outcome = RunOutcome::Converted;
    const bool ended = thread_.Run([&] { outcome = RunConversion(run); }, ui_,
                                   [&](std::chrono::steady_clock::time_point now) {
                                     if (!watch.Look(now)) return false;
                                     calls_.GiveUp();
                                     given_ = watch.Silence();
                                     return true;
                                   });
    return ended ? outcome : RunOutcome::GivenUp;
  }

  std::chrono::steady_clock::duration Silence() const override { return given_.value_or(silence_); }

  // On the host's thread, where its objects live. A host that does not
  // answer it is given up on after the silence, without a word: the run's
  // message says how it ended.
  void TellHost(Run& run, const std::string& text) override {
    if (!thread_.Run([&] { PutEndStatus(run, text); }, ui_,
                     GiveUpAt(calls_, Clock::now() + silence_))) {
      lost_ = true;
    }
  }
  // The host's thread is held in a call for good.
  bool givenUp() const { return given_.has_value() || lost_; }

 private:
  HostThread& thread_;
  ThreadedUi& ui_;
  host::CallWatch& calls_;
  const StopSource& stop_;
  const std::chrono::seconds silence_;
  std::optional<std::chrono::steady_clock::duration> given_;
  bool lost_ = false;
};

}  // namespace

ExitStatus RunProgram(const CommandLine& command, ProgramParts& parts) {
  const std::vector<std::string> settingsFiles = parts.settings.ValuesFiles();
  // A log that can't be made ends the program before anything else happens.
  CallLogFile log(parts.files);
  if (command.log) {
    if (const Result<void> opened = log.Open(*command.log, command.file, settingsFiles); !opened) {
      parts.ui.ShowMessage(opened.failure().reason, kMainCaption, Icon::Critical);
      return kNotChosen;
    }
  }
  // The log is emptied for this run only once the export is known and the
  // log is none of the run's files.
  const ExportGate startLog = [&](const std::string& importFile) {
    if (!command.log) return true;
    const Result<void> started = log.Start(importFile, settingsFiles);
    if (!started) parts.ui.ShowMessage(started.failure().reason, kMainCaption, Icon::Critical);
    return started.ok();
  };
  // The host works on a thread of its own, where it is made, called and
  // ended, while this one keeps the user interface alive and watches it.
  ThreadedUi ui(parts.ui);
  auto calls = std::make_unique<host::CallWatch>();
  HostThread hostThread;
  host::BusyWait wait = parts.busyWait;
  wait.watch = calls.get();
  wait.stop = &parts.stop;
  std::unique_ptr<host::Automation> host;
  auto wrapped = std::make_unique<HostWrappers>();
  hostThread.Run(
      [&] {
        host = parts.makeHost();
        *wrapped = WrapHost(*host, command.log ? &log : nullptr, ui, wait);
      },
      ui, {});
  Platform platform{ui, *wrapped->wait, parts.numbers, parts.files, parts.stop};
  platform.watch = calls.get();
  auto run = std::make_unique<Run>(platform);
  ThreadConverter converter(hostThread, ui, *calls, parts.stop, parts.silence);
  const ExitStatus status =
      command.checkOnly
          ? CheckExport(*run, parts.settings, command.file, startLog, command.fromLine)
          : Form1Load(*run, parts.settings, command.file, startLog, command.fromLine, &converter);
  // A host's thread that never comes back holds these: they stay as they are.
  const auto leaveToHostThread = [&] {
    static_cast<void>(run.release());
    static_cast<void>(wrapped.release());
    static_cast<void>(host.release());
    static_cast<void>(calls.release());
    parts.hostLost = true;
  };
  if (converter.givenUp()) {
    log.EndUnanswered(converter.Silence(), ui);
    log.End(ui);
    leaveToHostThread();
    return status;
  }
  // Letting go of the host's objects is a call to it too: a host that no
  // longer answers is left as it is after the silence.
  const bool released = hostThread.Run(
      [&] {
        run->Application = run->PointData = run->MeasurementProgram = run->CMDS = run->Cmd =
            run->FeatureData = host::Ref();
        host->EndOfRun();
        wrapped.reset();
        host.reset();
      },
      ui, GiveUpAt(*calls, Clock::now() + parts.silence));
  log.End(ui);
  if (!released) leaveToHostThread();
  return status;
}

}  // namespace traskel
