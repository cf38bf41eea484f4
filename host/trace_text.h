// How traces of host calls write values: numbers in their shortest exact
// form and strings as JSON literals, so every line stays one line. Shared by
// the call log and every host stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/value.h"

namespace traskel::host {

void AppendInt(std::string& out, std::int64_t v);
// The shortest text that reads back as the same double, '.' as decimal point.
void AppendR8(std::string& out, double v);
// A JSON string literal: quotes, backslash and control characters escaped,
// other bytes as they are.
void AppendJsonString(std::string& out, std::string_view s);
// The same with DEL, the C1 characters and the bidirectional controls
// escaped as well, for text that a terminal may show.
void AppendShownString(std::string& out, std::string_view s);
// The name a trace gives an object: its role, or "Nothing" for none.
using ObjectName = const char* (*)(const Object* object);

// "type[&]:text" as the trace writes an argument or a result.
void AppendTraceValue(std::string& out, const Value& v, bool byRef, ObjectName nameOf);

// How a line of the trace begins: "role kind id" for an operation on an
// object, "create \"class\"" for a creation.
void AppendOperation(std::string& out, std::string_view role, std::string_view kind, DispId id);
void AppendCreation(std::string& out, std::string_view className);
// " -> type:text" when the operation gave a result.
void AppendResult(std::string& out, const Value& result, ObjectName nameOf);

}  // namespace traskel::host
