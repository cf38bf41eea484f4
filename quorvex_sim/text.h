// Texts shared by the trace and the listing: numbers in their shortest exact
// form and strings as JSON literals, so every line stays one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/value.h"

namespace quorvex_sim {

void AppendInt(std::string& out, std::int64_t v);
// The shortest text that reads back as the same double, '.' as decimal point.
void AppendR8(std::string& out, double v);
// A JSON string literal: quotes, backslash and control characters escaped,
// other bytes as they are.
void AppendJsonString(std::string& out, std::string_view s);
// The same with DEL and the C1 characters escaped as well, for text that a
// terminal may show.
void AppendShownString(std::string& out, std::string_view s);
// "type[&]:text" as the trace writes an argument or a result.
void AppendTraceValue(std::string& out, const traskel::host::Value& v, bool byRef);

}  // namespace quorvex_sim
