// The file-backed settings store of POSIX systems, open to tests.
#pragma once

#include <memory>
#include <string>

#include "platform/settings.h"

namespace traskel {

// A store kept in the file "settings" of the given folder.
std::unique_ptr<SettingsStore> MakeFileSettingsStore(const std::string& folder);

}  // namespace traskel
