#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "conversion/connection.h"
#include "conversion/conversion.h"
#include "conversion/host_ids.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/user_interface.h"

namespace traskel {

using namespace host;

namespace {

// Reads the copy line by line, a line ending at CR or CR LF, and counts the
// bytes consumed so far for the progress figure.
class CopyReader {
 public:
  explicit CopyReader(std::FILE* f) : file_(f) {}

  bool AtEnd() { return pos_ == len_ && !Refill(); }

  void ReadLine(std::string& line) {
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
      return;
    }
  }

  std::uint64_t consumed() const { return consumed_; }

 private:
  bool Refill() {
    pos_ = 0;
    len_ = std::fread(buf_, 1, sizeof buf_, file_);
    if (len_ == 0 && std::ferror(file_)) {
      throw Error(kDeviceIoError, "Device I/O error while reading the copy of the input");
    }
    return len_ > 0;
  }
  void Consume(std::size_t n) {
    pos_ += n;
    consumed_ += n;
  }

  std::FILE* file_;
  char buf_[1 << 16];
  std::size_t pos_ = 0, len_ = 0;
  std::uint64_t consumed_ = 0;
};

std::string ProgressText(std::uint64_t consumed, std::uint64_t length, const std::string& line) {
  auto percent = static_cast<long long>(
      std::floor(static_cast<double>(consumed) / static_cast<double>(length) * 100.0 + 0.5));
  return std::to_string(percent) + "% Bearbeite Zeile: " + line;
}

void HandleLine(Run& run) {
  std::string trimmed(TrimSpaces(run.line));
  if (run.lineNumber <= 10) {
    AddComment(run, trimmed);
  } else {
    SplitFields(run.Fields, trimmed);
    DispatchRecord(run, trimmed);
  }
}

}  // namespace

RunOutcome RunConversion(Run& run) {
  if (!fktStartQuorvex(run)) return RunOutcome::NotConnected;

  const std::string copyPath = CopyPathFor(run.ImportFile);
  File copy = OpenBinary(copyPath, "rb");
  if (!copy) {
    throw Error(kFileNotFound, "File not found: " + copyPath + " (" + LastFileError() + ")");
  }
  std::uint64_t length = 0;
  if (!FileSize(copyPath, length)) {
    throw Error(kPathFileAccessError,
                "Path/File access error: " + copyPath + " (" + LastFileError() + ")");
  }

  CopyReader reader(copy.get());
  std::string raw;
  while (!reader.AtEnd()) {
    ++run.lineNumber;
    reader.ReadLine(raw);
    run.line = DecodeSystemText(raw);
    run.Application.Put(ids::application::kStatusText,
                        Str(ProgressText(reader.consumed(), length, run.line)));
    run.platform.ui.PumpEvents();
    HandleLine(run);
  }
  copy.reset();
  run.lineNumber = 0;
  run.line.clear();

  if (!RemoveFile(copyPath)) {
    run.platform.ui.ShowMessage(
        "Die Datei " + copyPath + " konnte nicht gelöscht werden: " + LastFileError(), kMainCaption,
        Icon::Exclamation);
  }
  return RunOutcome::Converted;
}

}  // namespace traskel
