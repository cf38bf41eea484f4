#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "conversion/connection.h"
#include "conversion/conversion.h"
#include "conversion/feature.h"
#include "conversion/host_ids.h"
#include "conversion/run_time_errors.h"
#include "conversion/titles.h"
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
    if (!n) throw FileError(kDeviceIoError, n.failure());
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

// With a watcher, a failing line is told to it instead of ending the loop.
void HandleLine(Run& run, LineWatcher* watcher) {
  if (watcher == nullptr) return HandleLine(run);
  run.failedField.reset();
  run.failedFieldText.clear();
  try {
    HandleLine(run);
  } catch (const Error& e) {
    // Only a known key's builder fails, so the record counts as taken.
    if (run.lineNumber > kHeaderLines && !TrimSpaces(run.line).empty()) Tally(run, true);
    watcher->Handled(run, &e);
    return;
  }
  watcher->Handled(run, nullptr);
}

[[noreturn]] void CutShort(Run& run, std::uint64_t read) {
  run.shortRead = read;
  throw Error(kPathFileAccessError, "Path/File access error");
}

void DeleteCopy(Run& run) {
  if (const Result<void> removed = run.copy.file->Remove(); !removed) {
    run.platform.ui.ShowMessage("Die Datei " + CopyPathFor(run.ImportFile) +
                                    " konnte nicht gelöscht werden: " + removed.failure().reason,
                                kMainCaption, Icon::Exclamation);
  }
  run.copy.file.reset();
}

}  // namespace

void ConvertText(Run& run, ByteSource& text, std::uint64_t length, TextEncoding encoding,
                 LineWatcher* watcher) {
  LineReader reader(text, length);
  std::string raw;
  while (!reader.AtEnd()) {
    ++run.lineNumber;
    const bool whole = reader.ReadLine(raw);
    run.line = DecodeText(raw, encoding);
    if (!whole) CutShort(run, reader.fetched());
    run.Application.Put(ids::application::kStatusText,
                        Str(ProgressText(reader.consumed(), length, run.line)));
    run.platform.ui.PumpEvents();
    HandleLine(run, watcher);
  }
  run.lineNumber = 0;
  run.line.clear();
}

RunOutcome RunConversion(Run& run) {
  if (!fktStartQuorvex(run)) return RunOutcome::NotConnected;

  const std::string copyPath = CopyPathFor(run.ImportFile);
  if (!run.copy.file) {
    run.errorDetail = "Die Kopie " + copyPath + " fehlt.";
    throw Error(kFileNotFound, "File not found");
  }
  try {
    const Result<void> rewound = run.copy.file->Rewind();
    if (!rewound) throw FileError(kPathFileAccessError, rewound.failure());
    ConvertText(run, *run.copy.file, run.copy.length, run.copy.encoding);
  } catch (const FileError& e) {
    run.errorDetail = "Die Kopie " + copyPath + " kann nicht gelesen werden: " + e.failure().reason;
    throw;
  }
  DeleteCopy(run);
  return RunOutcome::Converted;
}

}  // namespace traskel
