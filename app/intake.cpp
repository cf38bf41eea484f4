#include "app/intake.h"

#include <cstdio>

#include "platform/file_system.h"

namespace traskel {

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
}  // namespace

void LineEndNormaliser::Put(char c, std::string& out) {
  if (c == '\n') {
    out += "\r\n";  // a CR right before it is part of this line end
    pendingCr_ = false;
    lineOpen_ = false;
    return;
  }
  if (pendingCr_) out += '\r';
  pendingCr_ = (c == '\r');
  if (!pendingCr_) out += c;
  lineOpen_ = true;
}

void LineEndNormaliser::Feed(std::string_view chunk, std::string& out) {
  if (!started_) {
    head_.append(chunk);
    if (head_.size() < kByteOrderMark.size() && kByteOrderMark.starts_with(head_)) return;
    started_ = true;
    std::string_view rest = head_;
    if (rest.starts_with(kByteOrderMark)) rest.remove_prefix(kByteOrderMark.size());
    for (char c : rest) Put(c, out);
    head_.clear();
    return;
  }
  for (char c : chunk) Put(c, out);
}

void LineEndNormaliser::Finish(std::string& out) {
  if (!started_) {
    started_ = true;
    // Only part of a mark, or nothing: it was text after all.
    std::string held;
    held.swap(head_);
    for (char c : held) Put(c, out);
  }
  if (lineOpen_) out += "\r\n";  // a trailing CR counts as the line's end
  pendingCr_ = false;
  lineOpen_ = false;
}

bool WriteNormalisedCopy(const std::string& source, const std::string& copy, std::string& error) {
  File in = OpenBinary(source, "rb");
  if (!in) {
    error = "Die Datei " + source + " kann nicht gelesen werden: " + LastFileError();
    return false;
  }
  // A copy name that is a link to the export would empty the export.
  if (SameFile(source, copy)) {
    error = "Die Kopie " + copy + " kann nicht angelegt werden: sie ist die Datei " + source +
            " selbst";
    return false;
  }
  File out = OpenBinary(copy, "wb");
  if (!out) {
    error = "Die Kopie " + copy + " kann nicht angelegt werden: " + LastFileError();
    return false;
  }
  LineEndNormaliser normaliser;
  std::string buffer(1 << 16, '\0');
  std::string converted;
  auto write = [&]() {
    if (!converted.empty() &&
        std::fwrite(converted.data(), 1, converted.size(), out.get()) != converted.size()) {
      error = "Die Kopie " + copy + " kann nicht geschrieben werden: " + LastFileError();
      return false;
    }
    converted.clear();
    return true;
  };
  for (;;) {
    std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (n == 0) break;
    normaliser.Feed(std::string_view(buffer.data(), n), converted);
    if (!write()) return false;
  }
  if (std::ferror(in.get())) {
    error = "Die Datei " + source + " kann nicht gelesen werden: " + LastFileError();
    return false;
  }
  normaliser.Finish(converted);
  if (!write()) return false;
  if (std::fclose(out.release()) != 0) {
    error = "Die Kopie " + copy + " kann nicht geschrieben werden: " + LastFileError();
    return false;
  }
  return true;
}

}  // namespace traskel
