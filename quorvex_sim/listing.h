// The measurement program as readable text, one command a line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "quorvex_sim/model.h"

namespace quorvex_sim {

// Appends the listing to out. Whenever out holds more than chunk bytes it is
// handed to drain, which empties it, so a long program needs no big buffer.
void WriteListing(const ProgramModel& program, std::string& out, std::size_t chunk,
                  const std::function<void(std::string&)>& drain);

// The usual name of a command type code, or empty.
const char* TypeCodeName(std::int32_t typeCode);

}  // namespace quorvex_sim
