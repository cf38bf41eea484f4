#include "app/intake.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "conversion/conversion.h"
#include "conversion/failure_text.h"

namespace traskel {

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The CRs in text, each the end of a line as the conversion counts them.
// Lines are long: memchr, behind find, passes over them faster than a count
// of every byte.
std::int64_t CountCrs(std::string_view text) {
  std::int64_t count = 0;
  for (auto at = text.find('\r'); at != std::string_view::npos; at = text.find('\r', at + 1)) {
    ++count;
  }
  return count;
}

// The length of text before its first CR or LF, found the same way, a block
// at a time, lest text without LFs be searched to its end for each CR.
std::size_t BeforeLineEnd(std::string_view text) {
  constexpr std::size_t kBlock = 256;
  for (std::size_t at = 0; at < text.size(); at += kBlock) {
    const std::string_view block = text.substr(at, kBlock);
    const std::size_t lf = block.find('\n');
    const std::size_t cr = block.substr(0, lf).find('\r');
    if (cr != std::string_view::npos) return at + cr;
    if (lf != std::string_view::npos) return at + lf;
  }
  return text.size();
}

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

void LineEndNormaliser::PutAll(std::string_view text, std::string& out) {
  while (!text.empty()) {
    // Text up to the next CR or LF goes as it is.
    const std::size_t run = pendingCr_ ? 0 : BeforeLineEnd(text);
    if (run > 0) {
      out.append(text.data(), run);
      lineOpen_ = true;
      text.remove_prefix(run);
      continue;
    }
    Put(text.front(), out);
    text.remove_prefix(1);
  }
}

void LineEndNormaliser::Feed(std::string_view chunk, std::string& out) {
  if (!started_) {
    head_.append(chunk);
    if (head_.size() < kByteOrderMark.size() && kByteOrderMark.starts_with(head_)) return;
    started_ = true;
    std::string_view rest = head_;
    if (rest.starts_with(kByteOrderMark)) rest.remove_prefix(kByteOrderMark.size());
    PutAll(rest, out);
    head_.clear();
    return;
  }
  PutAll(chunk, out);
}

void LineEndNormaliser::Finish(std::string& out) {
  if (!started_) {
    started_ = true;
    // Only part of a mark, or nothing: it was text after all.
    std::string held;
    held.swap(head_);
    PutAll(held, out);
  }
  if (lineOpen_) out += "\r\n";  // a trailing CR counts as the line's end
  pendingCr_ = false;
  lineOpen_ = false;
}

namespace {

// The first bytes an export without a byte-order mark is told UTF-16 by.
constexpr std::size_t kLookedAt = 4096;

// Big-endian or not, by a UTF-16 byte-order mark at the start.
std::optional<bool> Utf16ByMark(std::string_view head) {
  if (head.starts_with("\xFF\xFE")) return false;
  if (head.starts_with("\xFE\xFF")) return true;
  return std::nullopt;
}

// Big-endian or not, by the NUL bytes of UTF-16 without a mark, as editors
// on Windows tell it: in text of Latin letters nearly every unit has a NUL
// as its high byte and almost none as its low one.
std::optional<bool> Utf16ByNulBytes(std::string_view head) {
  std::size_t bytes[2] = {0, 0}, nuls[2] = {0, 0};  // at even and odd offsets
  for (std::size_t i = 0; i < head.size(); ++i) {
    ++bytes[i % 2];
    if (head[i] == '\0') ++nuls[i % 2];
  }
  if (bytes[1] == 0) return std::nullopt;
  const auto most = [&](int at) { return nuls[at] * 10 >= bytes[at] * 9; };
  const auto few = [&](int at) { return nuls[at] * 10 <= bytes[at]; };
  if (most(1) && few(0)) return false;
  if (most(0) && few(1)) return true;
  return std::nullopt;
}

}  // namespace

void ExportText::Feed(std::string_view chunk, std::string& out) {
  if (form_ != Form::Open) return Pass(chunk, out);
  head_.append(chunk);
  // A byte-order mark decides at its two bytes, NUL bytes once enough of
  // them have come.
  if (head_.size() >= kLookedAt || Utf16ByMark(head_)) Decide(out);
}

void ExportText::Decide(std::string& out) {
  std::string_view head = head_;
  std::optional<bool> bigEndian = Utf16ByMark(head);
  if (bigEndian) {
    head.remove_prefix(2);
  } else {
    bigEndian = Utf16ByNulBytes(head.substr(0, kLookedAt));
  }
  if (bigEndian) {
    form_ = Form::Utf16;
    utf16_ = Utf16Decoder(*bigEndian);
    // The UTF-16 mark is the one mark; a U+FEFF after it is text.
    lines_ = LineEndNormaliser(false);
  } else {
    form_ = Form::Bytes;
  }
  Pass(head, out);
  head_.clear();
}

void ExportText::Pass(std::string_view chunk, std::string& out) {
  if (form_ == Form::Utf16) {
    decoded_.clear();
    utf16_.Feed(chunk, decoded_);
    lines_.Feed(decoded_, out);
    return;
  }
  const std::size_t before = out.size();
  lines_.Feed(chunk, out);
  Check(std::string_view(out).substr(before));
}

void ExportText::Check(std::string_view text) {
  const std::uint64_t from = checked_;
  utf8_.Feed(text);
  checked_ += text.size();
  if (breakLine_ != 0) return;
  // Lines as the conversion counts them in the copy: a CR ends one, and an
  // LF after it belongs to that end.
  const std::optional<std::uint64_t> at = utf8_.BreakAt();
  const std::size_t upTo = at ? static_cast<std::size_t>(*at - from) : text.size();
  lineEnds_ += CountCrs(text.substr(0, upTo));
  if (at) breakLine_ = lineEnds_ + 1;
}

TextEncoding ExportText::Finish(std::string& out) {
  if (form_ == Form::Open) Decide(out);
  if (form_ == Form::Utf16) {
    decoded_.clear();
    utf16_.Finish(decoded_);
    lines_.Feed(decoded_, out);
    lines_.Finish(out);
    return TextEncoding::Utf8;
  }
  const std::size_t before = out.size();
  lines_.Finish(out);
  Check(std::string_view(out).substr(before));
  return utf8_.Valid() ? TextEncoding::Utf8 : TextEncoding::SystemCodePage;
}

std::int64_t ExportText::BrokenUtf8Line() const {
  return utf8_.SawMultiByte() && !utf8_.Valid() ? breakLine_ : 0;
}

namespace {

constexpr const char* kBusy = "Die Datei wird gerade von einem anderen Traskel-Lauf konvertiert.";

std::string Refused(const std::string& copyPath, const std::string& why) {
  return "Die Kopie " + Shown(copyPath) + " kann nicht angelegt werden: " + why;
}

// Why the copy's name is not taken.
std::string NotTaken(const Failure& failure) {
  switch (failure.kind) {
    case FailureKind::Link:
      return "ist eine Verknüpfung";
    case FailureKind::OtherNames:
      return "ist eine weitere Verknüpfung einer anderen Datei";
    case FailureKind::NotRegular:
      return "ist keine gewöhnliche Datei";
    default:
      return FailureText(failure);
  }
}

// The copy's name, held for this run and emptied; nothing when it is
// refused, and then nothing there is changed.
std::unique_ptr<HeldFile> TakeCopy(FileSystem& files, const std::string& source,
                                   const std::string& copyPath, std::string& error) {
  Result<std::unique_ptr<HeldFile>> taken = files.TakeFile(copyPath);
  if (!taken) {
    const Failure& failure = taken.failure();
    if (failure.kind == FailureKind::HeldByOther) {
      error = kBusy;
    } else if (failure.kind == FailureKind::InUse) {
      error = "Die Datei " + Shown(copyPath) + " wird gerade von einem anderen Programm benutzt.";
    } else {
      error = Refused(copyPath, NotTaken(failure));
    }
    return nullptr;
  }
  // The export itself may be a link to the copy's name: emptying that would
  // empty the export.
  if (files.SameFile(source, copyPath)) {
    error = Refused(copyPath, "sie ist die Datei " + Shown(source) + " selbst");
    return nullptr;
  }
  if (const Result<void> cleared = (*taken)->Clear(); !cleared) {
    error = Refused(copyPath, cleared.failure().reason);
    return nullptr;
  }
  return std::move(*taken);
}

// A copy that could not be written whole is deleted; the message says so.
void Discard(std::unique_ptr<HeldFile>& copy, const std::string& copyPath, std::string& error) {
  if (const Result<void> removed = copy->Remove(); removed) {
    error += "\r\n\r\nEs wurde keine Kopie angelegt.";
  } else {
    error += "\r\n\r\nDie unvollständige Kopie " + Shown(copyPath) +
             " konnte nicht gelöscht werden: " + FailureText(removed.failure());
  }
  copy.reset();
}

// Reads the export through the text conversion into the held copy.
bool CopyText(InputFile& in, const std::string& source, const std::string& copyPath, HeldCopy& copy,
              std::string& error, const StopSource& stop, FirstLines* firstLines) {
  ExportSource text(in);
  for (;;) {
    if (stop.Requested()) return false;
    const Result<std::string_view> piece = text.Next();
    if (!piece) {
      error = UnreadableText(source, piece.failure().reason);
      return false;
    }
    if (piece->empty()) break;
    if (const Result<void> written = copy.file->Write(*piece); !written) {
      error = "Die Kopie " + Shown(copyPath) +
              " kann nicht geschrieben werden: " + written.failure().reason;
      return false;
    }
    copy.length += piece->size();
    if (firstLines != nullptr) firstLines->Feed(*piece);
  }
  copy.encoding = text.encoding();
  copy.lines = text.lines();
  return true;
}

}  // namespace

Result<std::string_view> ExportSource::Next() {
  constexpr std::size_t kChunk = 1 << 16;
  if (!chunk_) chunk_ = std::make_unique_for_overwrite<char[]>(kChunk);
  text_.clear();
  pos_ = 0;
  // A piece of the file may give no text yet, held back until more comes.
  while (text_.empty() && !ended_) {
    const Result<std::size_t> n = in_.Read(chunk_.get(), kChunk);
    if (!n) return n.failure();
    if (*n > 0) {
      exportText_.Feed(std::string_view(chunk_.get(), *n), text_);
    } else {
      encoding_ = exportText_.Finish(text_);
      ended_ = true;
    }
  }
  given_ += text_.size();
  lines_ += CountCrs(text_);
  return std::string_view(text_);
}

Result<std::size_t> ExportSource::Read(char* buffer, std::size_t size) {
  if (pos_ == text_.size()) {
    if (const Result<std::string_view> piece = Next(); !piece) return piece.failure();
  }
  const std::size_t n = std::min(size, text_.size() - pos_);
  std::memcpy(buffer, text_.data() + pos_, n);
  pos_ += n;
  return n;
}

Result<void> ExportSource::ReadToEnd() {
  for (;;) {
    const Result<std::string_view> piece = Next();
    if (!piece) return piece.failure();
    if (piece->empty()) return {};
  }
}

std::string UnreadableText(const std::string& file, const std::string& reason) {
  return "Die Datei " + Shown(file) + " kann nicht gelesen werden: " + reason;
}

Result<void> WriteNormalisedCopy(FileSystem& files, const std::string& source,
                                 const std::string& copyPath, HeldCopy& copy,
                                 const StopSource& stop, FirstLines* firstLines) {
  copy = HeldCopy{};
  std::string error;
  const auto failed = [&error] {
    Failure message;
    message.reason = error;
    return message;
  };
  Result<std::unique_ptr<InputFile>> in = files.OpenForReading(source);
  if (!in) {
    error = UnreadableText(source, FailureText(in.failure()));
    return failed();
  }
  copy.file = TakeCopy(files, source, copyPath, error);
  if (!copy.file) return failed();
  if (!CopyText(**in, source, copyPath, copy, error, stop, firstLines)) {
    Discard(copy.file, copyPath, error);
    return failed();
  }
  return {};
}

}  // namespace traskel
