// Checking an export before converting it: read as its conversion would
// read it, by the conversion itself, into a host that carries out nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/form1.h"

namespace traskel {

// Chooses and remembers the export as a run does, then reads it as its
// conversion would, going on past lines that would end one, and tells in one
// message what a conversion would do. Ends with the status that conversion
// would end with (0, 4 or 1), or 2 when no export was chosen or it can't be
// read. Nothing reaches the host, and the export's copy is left alone, so a
// conversion of the same export may run meanwhile. With fromLine, the lines
// before it are counted but not checked, as a conversion from there would
// send nothing for them. The user may stop it between lines: the message
// then tells what was found so far, and the status is 5.
ExitStatus CheckExport(Run& run, SettingsStore& settings,
                       const std::optional<std::string>& named = std::nullopt,
                       const ExportGate& gate = {},
                       std::optional<std::int64_t> fromLine = std::nullopt);

}  // namespace traskel
