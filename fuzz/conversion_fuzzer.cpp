// Arbitrary bytes through the whole path an export takes: the export's text
// (encoding decision, UTF-16 decoding, line ends) fed in chunks of random
// size, then the real run from the file choice to the simulated host, as the
// program does it. Errors the run reports are expected; crashes, leaks,
// hangs, undefined behaviour and a broken invariant are findings.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "app/intake.h"
#include "conversion/run.h"
#include "platform/file_system.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "platform/user_interface.h"
#include "quorvex_sim/sim_host.h"

namespace {

using traskel::ExitStatus;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Parameters of one execution, drawn from the input's hash so that a seed
// file stays a plain export and replays the same way.
class Draw {
 public:
  explicit Draw(std::string_view data) {
    for (unsigned char c : data) state_ = (state_ ^ c) * 0x100000001b3ULL;
  }
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

 private:
  std::uint64_t state_ = 0xcbf29ce484222325ULL;
};

class QuietUi : public traskel::UserInterface {
 public:
  explicit QuietUi(std::string answer) : answer_(std::move(answer)) {}
  void ShowMessage(const std::string& text, const std::string&, traskel::Icon) override {
    messages.push_back(text);
  }
  std::optional<std::string> ChooseFile(const traskel::FileDialogRequest&) override {
    if (asked_++ > 0) Broken("the dialog opened twice for an existing file");
    return answer_;
  }
  void PumpEvents() override {}
  // The fuzzed host is never busy.
  traskel::Answer AskRetryOrCancel(const std::string&, const std::string&, traskel::Icon) override {
    Broken("asked whether to wait for a busy host");
  }
  // No run of the fuzzed exports is remembered to go on from.
  traskel::Answer AskYesNoCancel(const std::string&, const std::string&, traskel::Icon) override {
    Broken("asked whether to go on from an earlier run");
  }
  std::vector<std::string> messages;

 private:
  std::string answer_;
  int asked_ = 0;
};

class MemorySettings : public traskel::SettingsStore {
 public:
  traskel::Result<std::string> Read(const std::string& path) override { return values[path]; }
  traskel::Result<void> Write(const std::string& path, const std::string& value) override {
    values[path] = value;
    return {};
  }
  traskel::Result<std::vector<std::pair<std::string, std::string>>> List(
      const std::string&) override {
    return std::vector<std::pair<std::string, std::string>>();  // nothing kept between inputs
  }
  traskel::Result<void> Remove(const std::string& path) override {
    values.erase(path);
    return {};
  }
  std::map<std::string, std::string> values;
};

struct Copy {
  std::string text;
  traskel::TextEncoding encoding;
  bool operator==(const Copy&) const = default;
};

Copy Normalise(std::string_view in, Draw* chunks) {
  traskel::ExportText text;
  Copy out;
  while (!in.empty()) {
    std::size_t size = chunks ? 1 + chunks->Next() % 8 : in.size();
    if (chunks && chunks->Next() % 4 == 0) text.Feed({}, out.text);  // empty reads happen too
    size = std::min(size, in.size());
    text.Feed(in.substr(0, size), out.text);
    in.remove_prefix(size);
  }
  out.encoding = text.Finish(out.text);
  return out;
}

// Lines as anything reading them sees them: CR LF, CR and LF each end one,
// and so does the end of the text.
std::vector<std::string_view> Lines(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\r' && s[i] != '\n') continue;
    out.push_back(s.substr(start, i - start));
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < s.size()) out.push_back(s.substr(start));
  return out;
}

// The text read as UTF-16 of the given byte order, as UTF-8.
std::string FromUtf16(std::string_view in, bool bigEndian) {
  traskel::Utf16Decoder decoder(bigEndian);
  std::string out;
  decoder.Feed(in, out);
  decoder.Finish(out);
  return out;
}

void CheckExportText(std::string_view in, Draw& draw) {
  const Copy chunked = Normalise(in, &draw);
  if (chunked != Normalise(in, nullptr)) Broken("the copy depends on the chunk sizes");
  const std::string& out = chunked.text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) Broken("LF without CR");
  }
  if (!out.empty() && !out.ends_with("\r\n")) Broken("the last line is not ended");
  const bool utf8 = chunked.encoding == traskel::TextEncoding::Utf8;
  if (utf8 && traskel::RepairUtf8(out) != out) Broken("a copy read as UTF-8 is none");
  if (in.starts_with("\xFF\xFE") || in.starts_with("\xFE\xFF")) {
    if (!utf8) Broken("UTF-16 was not made UTF-8");
    return;
  }
  // UTF-16 without its mark is told by its NUL bytes, and made UTF-8 as
  // with one.
  if (utf8 && in.find('\0') != std::string_view::npos) {
    for (const bool bigEndian : {false, true}) {
      if (Lines(FromUtf16(in, bigEndian)) == Lines(out)) return;
    }
  }
  // Anything else is copied byte for byte but for its line ends and mark.
  std::string_view body = in;
  if (body.starts_with(kByteOrderMark)) body.remove_prefix(kByteOrderMark.size());
  // One mark goes; a second one is text.
  if (std::string_view(out).starts_with(kByteOrderMark) != body.starts_with(kByteOrderMark)) {
    Broken("a byte-order mark opens the output");
  }
  if (Lines(body) != Lines(out)) Broken("a line was lost, split or changed");
  if (utf8 != (traskel::RepairUtf8(std::string(body)) == body)) {
    Broken("the encoding decision disagrees with the whole text");
  }
}

// Never destroyed: the clean-up at exit still needs it.
const std::string& WorkFolder() {
  static const std::string& folder = *new std::string([] {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    auto dir = base / ("traskel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
  }());
  return folder;
}

void RunWhole(std::string_view data, Draw& draw) {
  const std::string input = WorkFolder() + "/export.csv";
  const std::string copy = traskel::CopyPathFor(input);
  {
    std::FILE* f = std::fopen(input.c_str(), "wb");
    if (!f) Broken("cannot write the input");
    std::fwrite(data.data(), 1, data.size(), f);
    if (std::fclose(f) != 0) Broken("cannot write the input");
  }

  quorvex_sim::Options options;
  options.showProgress = false;
  options.printListing = false;
  options.handBackNewPointData = draw.Next() % 2 == 0;
  // Now and then the host fails at some operation of the run.
  if (draw.Next() % 4 == 0) options.failAt = 1 + static_cast<std::int64_t>(draw.Next() % 200);
  quorvex_sim::SimHost host(options);

  QuietUi ui(input);
  MemorySettings settings;
  traskel::NumberFormat numbers;
  if (draw.Next() % 2 == 0) numbers.decimalSeparator = ",";
  traskel::SystemFileSystem files;
  const traskel::StopSource never;
  traskel::Platform platform{ui, host, numbers, files, never};
  ExitStatus status;
  {
    traskel::Run run(platform);
    status = traskel::Form1Load(run, settings);
    const traskel::RecordTally& tally = run.tally;
    const bool leftOut = tally.records == 0 || tally.skipped > 0;
    if (status == traskel::kConverted && leftOut) Broken("lines were left out in silence");
    if (status == traskel::kLinesNotTaken &&
        (!leftOut || ui.messages.empty() ||
         ui.messages.back().find("Datenzeile") == std::string::npos)) {
      Broken("status 4 without its reason");
    }
    if (tally.skipped > tally.records) Broken("more lines skipped than there are");
  }
  host.EndOfRun();

  const bool copyLeft = std::filesystem::exists(copy);
  switch (status) {
    case traskel::kConverted:
    case traskel::kLinesNotTaken:
      if (copyLeft) Broken("a finished run left its copy");
      break;
    case traskel::kRunFailed:
      if (!copyLeft) Broken("a broken run lost its copy");
      if (ui.messages.empty() || ui.messages.back().find("Laufzeitfehler") == std::string::npos) {
        Broken("a broken run gave no error message");
      }
      break;
    case traskel::kNotConnected:
      if (options.failAt == 0) Broken("no connection to a running host");
      break;
    case traskel::kNotChosen:
      Broken("the file or its copy was refused");
      break;
    case traskel::kStopped:
      Broken("a run stopped that no one stopped");
  }
  std::remove(copy.c_str());
  std::remove(input.c_str());
}

void RemoveWorkFolder() {
  std::error_code ec;
  std::filesystem::remove_all(WorkFolder(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  Draw draw(data);
  static const bool cleanUp = std::atexit(RemoveWorkFolder) == 0;
  (void)cleanUp;
  CheckExportText(data, draw);
  RunWhole(data, draw);
  return 0;
}
