// The normalised copy of the export: every line ends in CR LF, and its text
// is UTF-8 or single-byte text of the system's code page, decided once for
// the whole export.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "conversion/fingerprint.h"
#include "conversion/run.h"
#include "platform/file_system.h"
#include "platform/stop.h"
#include "platform/text.h"

namespace traskel {

// Rewrites line ends chunk by chunk: LF and CR LF both become CR LF, a last
// line without line feed is ended too, other CRs pass unchanged, and a UTF-8
// byte-order mark that opens the input is dropped, unless told to keep it.
class LineEndNormaliser {
 public:
  explicit LineEndNormaliser(bool dropByteOrderMark = true) : started_(!dropByteOrderMark) {}
  void Feed(std::string_view chunk, std::string& out);
  void Finish(std::string& out);

 private:
  bool started_ = false;    // past the possible byte-order mark
  std::string head_;        // first bytes held back until the mark is ruled out
  bool pendingCr_ = false;  // a CR read, not yet written
  bool lineOpen_ = false;   // bytes written since the last line end
  void Put(char c, std::string& out);
  void PutAll(std::string_view text, std::string& out);
};

// The export as its copy holds it, chunk by chunk: line ends normalised, and
// the encoding the conversion reads it in. An export that opens with the
// UTF-16 byte-order mark (either order), or whose first 4 KiB have the NUL
// bytes of UTF-16 text, is written as UTF-8 without the mark; any other is
// written byte for byte and is UTF-8 when all of it is, otherwise text of
// the system's code page.
class ExportText {
 public:
  void Feed(std::string_view chunk, std::string& out);
  // What was held back, and the encoding of the whole export.
  TextEncoding Finish(std::string& out);
  // After Finish: for an export read as code page text that holds UTF-8
  // beyond ASCII all the same, the line of the first byte that is no UTF-8,
  // where its text went wrong; 0 for any other.
  std::int64_t BrokenUtf8Line() const;

 private:
  enum class Form { Open, Bytes, Utf16 };
  void Decide(std::string& out);
  void Pass(std::string_view chunk, std::string& out);
  void Check(std::string_view text);

  Form form_ = Form::Open;
  std::string head_;  // first bytes held back until the form is known
  LineEndNormaliser lines_;
  Utf16Decoder utf16_{false};
  std::string decoded_;  // UTF-16 turned UTF-8, reused between chunks
  Utf8Check utf8_;
  std::uint64_t checked_ = 0;   // bytes of the copy's text checked so far
  std::int64_t lineEnds_ = 0;   // line ends before the first byte that is no UTF-8
  std::int64_t breakLine_ = 0;  // the line of that byte, once it came
};

// The export as its copy holds it, read straight from the open file: the
// copy is written from it, and a check reads its lines from it.
class ExportSource final : public ByteSource {
 public:
  explicit ExportSource(InputFile& in) : in_(in) {}

  // The next piece of the text; empty at the end. It stays valid until the
  // next read.
  Result<std::string_view> Next();
  Result<std::size_t> Read(char* buffer, std::size_t size) override;
  // Reads on to the end.
  Result<void> ReadToEnd();

  std::uint64_t given() const { return given_; }  // bytes of text so far
  // Lines of text so far, as the conversion counts them: each CR ends one,
  // and the text's last line is always ended.
  std::int64_t lines() const { return lines_; }
  TextEncoding encoding() const { return encoding_; }                           // once at the end
  std::int64_t brokenUtf8Line() const { return exportText_.BrokenUtf8Line(); }  // at the end

 private:
  InputFile& in_;
  ExportText exportText_;
  std::unique_ptr<char[]> chunk_;
  std::string text_;
  std::size_t pos_ = 0;  // what Read has given of text_
  std::uint64_t given_ = 0;
  std::int64_t lines_ = 0;
  bool ended_ = false;
  TextEncoding encoding_ = TextEncoding::Utf8;
};

// "Die Datei <file> kann nicht gelesen werden: <reason>", the message's
// words for an export that could not be read.
std::string UnreadableText(const std::string& file, const std::string& reason);

// Writes the normalised copy of source to copyPath and keeps holding it for
// the run; its first lines pass through firstLines, when given, as they are
// written. Fails, its reason the message, when the name is refused or the
// copy can't be written whole; a copy cut short is deleted again. A stop
// asked for meanwhile cuts it short too, and the message then only tells
// what became of the copy.
Result<void> WriteNormalisedCopy(FileSystem& files, const std::string& source,
                                 const std::string& copyPath, HeldCopy& copy,
                                 const StopSource& stop, FirstLines* firstLines = nullptr);

}  // namespace traskel
