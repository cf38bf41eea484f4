// The file-backed settings store of POSIX systems, open to tests.
#pragma once

#include <memory>
#include <string>

#include "platform/settings.h"

namespace traskel {

// A store kept in the file "settings" of the given folder, through `files`.
std::unique_ptr<SettingsStore> MakeFileSettingsStore(FileSystem& files, const std::string& folder);

}  // namespace traskel
