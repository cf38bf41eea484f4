// Checking an export before converting it: read as its conversion would
// read it, by the conversion itself, into a host that carries out nothing.
#pragma once

#include <optional>
#include <string>

#include "app/form1.h"

namespace traskel {

// Chooses and remembers the export as a run does, then reads it as its
// conversion would, going on past lines that would end one, and tells in one
// message what a conversion would do. Ends with the status that conversion
// would end with (0, 4 or 1), or 2 when no export was chosen or it can't be
// read. Nothing reaches the host, and the export's copy is left alone, so a
// conversion of the same export may run meanwhile.
ExitStatus CheckExport(Run& run, SettingsStore& settings,
                       const std::optional<std::string>& named = std::nullopt,
                       const ExportGate& gate = {});

}  // namespace traskel
