#include "host/trace_text.h"

#include <charconv>
#include <utility>

#include "platform/console.h"

namespace traskel::host {

void AppendInt(std::string& out, std::int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void AppendR8(std::string& out, double v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

namespace {

// U+0080 to U+009F at s[n], as UTF-8 writes them.
bool IsC1(std::string_view s, std::size_t n) {
  return static_cast<unsigned char>(s[n]) == 0xC2 && n + 1 < s.size() &&
         static_cast<unsigned char>(s[n + 1]) >= 0x80 &&
         static_cast<unsigned char>(s[n + 1]) < 0xA0;
}

// \u and four lower-case digits, as JSON writes a character.
void AppendCodePoint(std::string& out, char32_t code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
}

// A character's code point and its length in bytes; a length of 0 for none.
using Character = std::pair<char32_t, std::size_t>;

// The character at s[n] that a terminal must not get raw, besides the C0
// controls: DEL, C1 and the bidirectional controls.
Character ShownControlAt(std::string_view s, std::size_t n) {
  const auto c = static_cast<unsigned char>(s[n]);
  if (c == 0x7F) return {c, 1};
  if (IsC1(s, n)) return {static_cast<unsigned char>(s[n + 1]), 2};
  if (const char32_t bidi = BidiControlAt(s, n); bidi != 0) return {bidi, 3};
  return {0, 0};
}

void AppendQuoted(std::string& out, std::string_view s, bool allControls) {
  out += '"';
  std::size_t plain = 0;  // start of the run of bytes copied as they are
  for (std::size_t n = 0; n < s.size(); ++n) {
    const auto c = static_cast<unsigned char>(s[n]);
    // Printable ASCII, nearly all of any text, goes as it is.
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') continue;
    const auto [control, length] = allControls ? ShownControlAt(s, n) : Character{};
    if (c >= 0x20 && c != '"' && c != '\\' && length == 0) continue;
    out.append(s.data() + plain, n - plain);
    if (length != 0) {
      AppendCodePoint(out, control);
      n += length - 1;
      plain = n + 1;
      continue;
    }
    plain = n + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        AppendCodePoint(out, c);
    }
  }
  out.append(s.data() + plain, s.size() - plain);
  out += '"';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view s) {
  AppendQuoted(out, s, false);
}

void AppendShownString(std::string& out, std::string_view s) {
  AppendQuoted(out, s, true);
}

void AppendTraceValue(std::string& out, const Value& v, bool byRef, ObjectName nameOf) {
  out += TypeName(v.type());
  if (byRef) out += '&';
  out += ':';
  switch (v.type()) {
    case Type::Empty:
      break;
    case Type::I2:
      AppendInt(out, v.i2());
      break;
    case Type::I4:
      AppendInt(out, v.i4());
      break;
    case Type::R8:
      AppendR8(out, v.r8());
      break;
    case Type::Str:
      AppendJsonString(out, v.str());
      break;
    case Type::Bool:
      out += v.boolean() ? "True" : "False";
      break;
    case Type::Obj:
      out += nameOf(v.obj().get());
      break;
  }
}

void AppendOperation(std::string& out, std::string_view role, std::string_view kind, DispId id) {
  out += role;
  out += ' ';
  out += kind;
  out += ' ';
  AppendInt(out, id);
}

void AppendCreation(std::string& out, std::string_view className) {
  out += "create ";
  AppendJsonString(out, className);
}

void AppendResult(std::string& out, const Value& result, ObjectName nameOf) {
  if (result.type() == Type::Empty) return;
  out += " -> ";
  AppendTraceValue(out, result, false, nameOf);
}

}  // namespace traskel::host
