#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include "conversion/connection.h"
#include "conversion/conversion.h"
#include "conversion/failure_text.h"
#include "conversion/feature.h"
#include "conversion/fingerprint.h"
#include "conversion/host_ids.h"
#include "conversion/run_time_errors.h"
#include "conversion/titles.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/user_interface.h"

namespace traskel {

using namespace host;

namespace {

// Reads normalised text line by line, a line ending at CR or CR LF, and no
// further than its length: bytes added after it was written are never read.
// Counts the bytes consumed for the progress figure.
class LineReader {
 public:
  LineReader(ByteSource& source, std::uint64_t length) : source_(source), length_(length) {}

  bool AtEnd() const { return consumed_ == length_; }

  // False when the text ended before its length, in the middle of this line
  // or before it began.
  bool ReadLine(std::string& line) {
    line.clear();
    while (pos_ < len_ || Refill()) {
      const char* begin = buf_ + pos_;
      const void* cr = std::memchr(begin, '\r', len_ - pos_);
      if (!cr) {
        line.append(begin, len_ - pos_);
        Consume(len_ - pos_);
        continue;
      }
      std::size_t n = static_cast<const char*>(cr) - begin;
      line.append(begin, n);
      Consume(n + 1);
      if ((pos_ < len_ || Refill()) && buf_[pos_] == '\n') Consume(1);
      return true;
    }
    return AtEnd();
  }

  std::uint64_t consumed() const { return consumed_; }
  std::uint64_t fetched() const { return fetched_; }

 private:
  bool Refill() {
    pos_ = len_ = 0;
    const std::uint64_t left = length_ - fetched_;
    if (left == 0) return false;
    const Result<std::size_t> n =
        source_.Read(buf_, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf_, left)));
    if (!n) throw RunError(kDeviceIoError, n.failure());
    len_ = *n;
    fetched_ += len_;
    return len_ > 0;
  }
  void Consume(std::size_t n) {
    pos_ += n;
    consumed_ += n;
  }

  ByteSource& source_;
  const std::uint64_t length_;
  char buf_[1 << 16];
  std::size_t pos_ = 0, len_ = 0;
  std::uint64_t consumed_ = 0, fetched_ = 0;
};

std::string ProgressText(std::uint64_t consumed, std::uint64_t length, const std::string& line) {
  auto percent = static_cast<long long>(
      std::floor(static_cast<double>(consumed) / static_cast<double>(length) * 100.0 + 0.5));
  return std::to_string(percent) + "% Bearbeite Zeile: " + line;
}

bool SameLettersAnyCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::ranges::equal(a, b, {}, lower, lower);
}

// Counts a record line that is not empty, and notes it when its key is
// unknown, so that the run can say what it left out and what may be meant.
void Tally(Run& run, bool taken) {
  RecordTally& t = run.tally;
  ++t.records;
  if (taken) return;
  ++t.skipped;
  const std::string_view key = run.Fields[field::kKey];
  if (t.firstSkipped.size() < kShownSkipped) {
    const auto& keys = RecordKeys();
    const auto meant = std::ranges::find_if(
        keys, [key](std::string_view known) { return SameLettersAnyCase(key, known); });
    t.firstSkipped.push_back({run.lineNumber, run.line, meant == keys.end() ? "" : *meant});
  }
  const std::string_view afterTabs = key.substr(std::min(key.find_first_not_of('\t'), key.size()));
  if (afterTabs.size() < key.size() && t.firstTabbed == 0) t.firstTabbed = run.lineNumber;
  t.keyWithSemicolon = t.keyWithSemicolon || key.find(';') != std::string_view::npos;
  t.keyWithTab = t.keyWithTab || afterTabs.find('\t') != std::string_view::npos;
}

void HandleLine(Run& run) {
  std::string trimmed(TrimSpaces(run.line));
  if (run.lineNumber <= kHeaderLines) {
    AddComment(run, trimmed);
  } else {
    SplitFields(run.Fields, trimmed);
    run.fieldsRead.reset();
    const bool taken = DispatchRecord(run, trimmed);
    if (!trimmed.empty()) Tally(run, taken);
  }
}

// The error, naming the line the run is at unless it names one already.
RunError AtLine(const Error& e, const Run& run) {
  RunError placed = RunError::Of(e);
  if (placed.lineNumber == 0) {
    placed.lineNumber = run.lineNumber;
    placed.line = run.line;
  }
  return placed;
}

// With a watcher, a failing line is told to it instead of ending the loop.
void HandleLine(Run& run, LineWatcher* watcher) {
  if (watcher == nullptr) return HandleLine(run);
  try {
    HandleLine(run);
  } catch (const Error& e) {
    // Only a known key's builder fails, so the record counts as taken.
    if (run.lineNumber > kHeaderLines && !TrimSpaces(run.line).empty()) Tally(run, true);
    const RunError failed = AtLine(e, run);
    watcher->Handled(run, &failed);
    return;
  }
  watcher->Handled(run, nullptr);
}

// A line before the first to convert: its commands are in the host from an
// earlier run, so it is counted as its conversion counted it, and nothing is
// sent for it.
void PassLine(Run& run, LineWatcher* watcher) {
  if (run.lineNumber <= kHeaderLines) return;
  const std::string trimmed(TrimSpaces(run.line));
  SplitFields(run.Fields, trimmed);
  run.fieldsRead.reset();
  if (!trimmed.empty())
    Tally(run, std::ranges::find(RecordKeys(), run.Fields[field::kKey]) != RecordKeys().end());
  if (watcher != nullptr) watcher->Handled(run, nullptr);
}

[[noreturn]] void CutShort(std::uint64_t read) {
  RunError cut(Error(kPathFileAccessError, "Path/File access error"));
  cut.shortRead = read;
  throw cut;
}

constexpr auto kProgressAfter = std::chrono::seconds(1);
constexpr auto kProgressEvery = std::chrono::milliseconds(100);
constexpr auto kEstimateAfter = std::chrono::seconds(5);

// The line's commands are all in the host.
void LineDone(Run& run, std::string_view raw) {
  run.linesDone = run.lineNumber;
  run.passed.AddLine(raw);
}

void StartProgress(Run& run) {
  run.takenBefore = run.tally.Taken();
  run.progress.start = run.platform.now();
  run.progress.next = run.progress.start + kProgressAfter;
}

// Once a line: a clock read and a comparison, unless it is time to show.
void TimeProgress(Run& run) {
  const auto now = run.platform.now();
  if (now < run.progress.next) return;
  run.progress.next = now + kProgressEvery;
  // Time spent waiting for a busy host is no time the lines took.
  const auto waited = run.platform.watch != nullptr ? run.platform.watch->Waited()
                                                    : std::chrono::steady_clock::duration{};
  const auto elapsed = now - run.progress.start;
  std::string times = MinutesSeconds(elapsed);
  // The rate so far, lines done in this run over the time they took, is
  // taken to hold for the lines left, this one included: the records of an
  // export cost about the same each.
  // A copy changed behind the run's back may hold more lines than counted.
  const std::int64_t done = run.lineNumber - run.firstLine;
  const std::int64_t left = std::max<std::int64_t>(run.lineCount - run.lineNumber + 1, 0);
  if (elapsed >= kEstimateAfter && done > 0) {
    const double seconds = std::chrono::duration<double>(elapsed - waited).count() *
                           static_cast<double>(left) / static_cast<double>(done);
    times += ", noch etwa " + MinutesSeconds(std::llround(seconds));
  }
  run.platform.ui.ShowProgress(
      {FileNameOf(run.ImportFile),
       "Zeile " + std::to_string(run.lineNumber) + " von " + std::to_string(run.lineCount), times,
       std::min(1.0, static_cast<double>(run.lineNumber) / static_cast<double>(run.lineCount))});
}

}  // namespace

std::string MinutesSeconds(long long seconds) {
  const long long s = seconds % 60;
  return std::to_string(seconds / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

std::string MinutesSeconds(std::chrono::steady_clock::duration time) {
  return MinutesSeconds(std::chrono::duration_cast<std::chrono::seconds>(time).count());
}

std::string FileNameOf(const std::string& path) {
  const std::string folder = SplitPathFromFile(path);
  std::string name = path.substr(std::min(folder.size(), path.size()));
  const bool folderEnded =
      !folder.empty() && std::string_view("/\\:").find(folder.back()) != std::string_view::npos;
  if (!folderEnded && !name.empty() && (name[0] == '/' || name[0] == '\\')) name.erase(0, 1);
  return name;
}

LoopEnd ConvertText(Run& run, ByteSource& text, std::uint64_t length, TextEncoding encoding,
                    std::int64_t lines, LineWatcher* watcher) {
  LineReader reader(text, length);
  run.lineCount = lines;
  run.linesDone = 0;
  run.passed = {};
  std::string raw;
  LoopEnd end = LoopEnd::Whole;
  while (!reader.AtEnd()) {
    ++run.lineNumber;
    try {
      const bool whole = reader.ReadLine(raw);
      run.line = DecodeText(raw, encoding);
      if (!whole) CutShort(reader.fetched());
      if (run.lineNumber < run.firstLine) {
        PassLine(run, watcher);
        LineDone(run, raw);
        continue;
      }
      if (run.lineNumber == run.firstLine) StartProgress(run);
      run.Application.Put(ids::application::kStatusText,
                          Str(ProgressText(reader.consumed(), length, run.line)));
      run.platform.ui.PumpEvents();
      TimeProgress(run);
      HandleLine(run, watcher);
      LineDone(run, raw);
    } catch (const GaveUpOnBusyHost&) {
      throw;  // the user's own stop, as it is
    } catch (const Error& e) {
      throw AtLine(e, run);
    }
    // Between records only, so that none is left half-built.
    if (!reader.AtEnd() && run.platform.stop.Requested()) {
      end = LoopEnd::Stopped;
      break;
    }
  }
  run.lineNumber = 0;
  run.line.clear();
  return end;
}

std::string FinishedText(const Run& run, bool withTime) {
  const std::int64_t taken = run.tally.Taken() - run.takenBefore;
  const std::string records = std::to_string(taken) + (taken == 1 ? " Datenzeile" : " Datenzeilen");
  // A run that began part-way says which lines it sent. The window, which
  // counted every line, names both counts, so that they can't be read as
  // one that lost some.
  std::string text =
      run.firstLine > 1 ? "Fertig: Zeilen " + std::to_string(run.firstLine) + " bis " +
                              std::to_string(run.lineCount) + " (" + records + ")"
      : withTime ? "Fertig: alle " + std::to_string(run.lineCount) + " Zeilen (" + records + ")"
                 : "Fertig: " + records;
  if (withTime) {
    text += " in " + MinutesSeconds(run.platform.now() - run.progress.start);
  }
  return text + " übernommen.";
}

void DeleteCopy(Run& run) {
  if (!run.copy.file) return;
  if (const Result<void> removed = run.copy.file->Remove(); !removed) {
    run.platform.ui.CloseProgress();
    run.platform.ui.ShowMessage(
        "Die Datei " + Shown(CopyPathFor(run.ImportFile)) +
            " konnte nicht gelöscht werden: " + FailureText(removed.failure()),
        kMainCaption, Icon::Exclamation);
  }
  run.copy.file.reset();
}

RunOutcome RunConversion(Run& run) {
  // A stop asked for before anything reached the host sends nothing.
  if (run.platform.stop.Requested()) return RunOutcome::NotStarted;
  try {
    if (!fktStartQuorvex(run)) return RunOutcome::NotConnected;
  } catch (const GaveUpOnBusyHost&) {
    return RunOutcome::NotStarted;  // stopped while the host was busy
  }
  if (run.platform.stop.Requested()) return RunOutcome::NotStarted;

  const std::string copyPath = CopyPathFor(run.ImportFile);
  if (!run.copy.file) {
    RunError missing(Error(kFileNotFound, "File not found"));
    missing.detail = "Die Kopie " + Shown(copyPath) + " fehlt.";
    throw missing;
  }
  LoopEnd end;
  try {
    const Result<void> rewound = run.copy.file->Rewind();
    if (!rewound) throw RunError(kPathFileAccessError, rewound.failure());
    end = ConvertText(run, *run.copy.file, run.copy.length, run.copy.encoding, run.copy.lines);
  } catch (RunError& e) {
    if (e.failure) {
      e.detail =
          "Die Kopie " + Shown(copyPath) + " kann nicht gelesen werden: " + e.failure->reason;
    }
    throw;
  }
  if (end == LoopEnd::Stopped) return RunOutcome::Stopped;
  // Where the user watched the progress, the result.
  run.Application.Put(ids::application::kStatusText, Str(FinishedText(run, false)));
  DeleteCopy(run);
  return RunOutcome::Converted;
}

void PutEndStatus(Run& run, const std::string& text) {
  try {
    run.Application.Put(ids::application::kStatusText, Str(text));
  } catch (const Error&) {
    // The run ends either way; its message tells how.
  }
}

std::string Shown(std::string_view path) {
  return TerminalText(path, false);
}

}  // namespace traskel
