// The file-backed settings store of POSIX systems, open to tests.
#pragma once

#include <memory>
#include <string>

#include "platform/settings.h"

namespace traskel {

// A store kept through `files`: per-user values (HKCU) in the file "traskel"
// of userFolder, by default the folder, all others in the file "settings"
// of the folder.
std::unique_ptr<SettingsStore> MakeFileSettingsStore(FileSystem& files, const std::string& folder,
                                                     const std::string& userFolder = "");

}  // namespace traskel
