// The per-machine settings store, addressed by full value paths such as
// "HKLM\SOFTWARE\...\LastImportFile".
#pragma once

#include <memory>
#include <string>

namespace traskel {

inline constexpr const char* kLastImportFileSetting =
    "HKLM\\SOFTWARE\\Zelvar\\Kastovel\\CSV\\LastImportFile";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored value; any failure reads as the empty string.
  virtual std::string ReadSetting(const std::string& path) = 0;
  // True when the value was stored; never throws.
  virtual bool WriteSetting(const std::string& path, const std::string& value,
                            const std::string& kind) = 0;
};

std::unique_ptr<SettingsStore> MakeSettingsStore();

}  // namespace traskel
