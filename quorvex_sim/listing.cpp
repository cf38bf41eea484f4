#include "quorvex_sim/listing.h"

#include <array>
#include <charconv>
#include <utility>

#include "host/trace_text.h"
#include "quorvex_sim/host_state.h"

namespace quorvex_sim {

namespace {

using traskel::host::AppendInt;
using traskel::host::AppendR8;
using traskel::host::AppendShownString;
using traskel::host::AppendTraceValue;
using traskel::host::Bool;
using traskel::host::I2;
using traskel::host::Type;
using traskel::host::Value;

// What every feature command gets first; listing only the properties that
// differ keeps a line short. The type counts: an R8 0 for 6 is listed.
bool IsUsual(int index, const Value& v) {
  switch (kPropertyIds[index]) {
    case 4:
    case 6:
    case 7:
    case 18:
    case 48:
      return v == I2(0);
    case 5:
      return v == I2(3);
    case 8:
      return v == I2(100);
    case 19:
      return v == I2(999);
    case 9:
    case 12:
    case 81:
    case 83:
      return v == Bool(false);
    default:
      return false;
  }
}

void AppendTriple(std::string& out, double a, double b, double c) {
  out += '(';
  AppendR8(out, a);
  out += ", ";
  AppendR8(out, b);
  out += ", ";
  AppendR8(out, c);
  out += ')';
}

void AppendSlot(std::string& out, std::int32_t code, const SlotData& s) {
  switch (s.kind) {
    case SlotData::Kind::Position:
      out += " pos[";
      break;
    case SlotData::Kind::Vector:
      out += " vec[";
      break;
    case SlotData::Kind::Value:
      out += " val[";
      break;
  }
  AppendInt(out, code);
  out += "]=";
  switch (s.kind) {
    case SlotData::Kind::Position:
      AppendTriple(out, s.x, s.y, s.z);
      break;
    case SlotData::Kind::Vector:
      AppendTriple(out, s.i, s.j, s.k);
      break;
    case SlotData::Kind::Value:
      AppendR8(out, s.value);
      break;
  }
}

// Integers and Booleans plainly, as most properties are; other types with
// their type name, so an R8 stands out from an I2.
void AppendProperty(std::string& out, std::int32_t id, const Value& v) {
  out += " p";
  AppendInt(out, id);
  out += '=';
  switch (v.type()) {
    case Type::I2:
      AppendInt(out, v.i2());
      break;
    case Type::Bool:
      out += v.boolean() ? "True" : "False";
      break;
    default:
      AppendTraceValue(out, v, false, ObjectText);
  }
}

void AppendComment(std::string& out, const CommentPart& c) {
  if (c.kind != 0) {
    out += " kind=";
    AppendInt(out, c.kind);
  }
  if (!c.format.empty()) {
    out += " format=(";
    for (std::size_t n = 0; n < c.format.size(); ++n) {
      if (n > 0) out += ", ";
      AppendInt(out, c.format[n]);
    }
    out += ')';
  }
  for (const auto& [line, text] : c.lines) {
    out += " c";
    AppendInt(out, line);
    out += '=';
    AppendShownString(out, text);
  }
}

void AppendCommand(std::string& out, std::size_t number, int width, const Record& c) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(static_cast<std::size_t>(width - (end - digits)), ' ');
  out.append(digits, end);
  out += ' ';
  if (const char* name = TypeCodeName(c.typeCode); *name != '\0') {
    out += name;
  } else {
    out += "type ";
    AppendInt(out, c.typeCode);
  }
  out += " (";
  AppendInt(out, c.typeCode);
  out += ") ";
  AppendShownString(out, c.label);
  if (c.comment) AppendComment(out, *c.comment);
  for (const auto& [code, data] : c.slots) AppendSlot(out, code, data);
  for (int n = 0; n < static_cast<int>(kPropertyIds.size()); ++n) {
    if (!c.HasProperty(n)) continue;
    const Value v = c.Property(n);
    if (!IsUsual(n, v)) AppendProperty(out, kPropertyIds[n], v);
  }
  for (const auto& [code, text] : c.texts) {
    out += " t";
    AppendInt(out, code);
    out += '=';
    AppendShownString(out, text);
  }
  out += '\n';
}

}  // namespace

const char* TypeCodeName(std::int32_t typeCode) {
  switch (typeCode) {
    case 1:
      return "start";
    case 170:
      return "comment";
    case 603:
      return "point";
    case 604:
      return "edge point";
    case 612:
      return "circle";
    case 613:
      return "sphere";
    case 615:
      return "cone";
    case 616:
      return "cylinder";
    case 618:
      return "round slot";
    case 619:
      return "slot";
    case 621:
      return "ellipse";
    default:
      return "";
  }
}

void WriteListing(const ProgramModel& commands, std::string& out, std::size_t chunk,
                  const std::function<void(std::string&)>& drain) {
  out += "Quorvex measurement program: ";
  AppendInt(out, static_cast<std::int64_t>(commands.size()));
  out += commands.size() == 1 ? " command\n" : " commands\n";
  int width = 1;
  for (std::size_t n = commands.size(); n >= 10; n /= 10) ++width;
  for (std::size_t n = 0; n < commands.size(); ++n) {
    AppendCommand(out, n + 1, width, commands[n]);
    if (out.size() > chunk && drain) drain(out);
  }
}

}  // namespace quorvex_sim
