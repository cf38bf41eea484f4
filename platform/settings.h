// The per-machine settings store: text values addressed by full value paths
// such as "HKLM\SOFTWARE\...\LastImportFile".
#pragma once

#include <memory>
#include <string>

namespace traskel {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored value; any failure reads as the empty string.
  virtual std::string ReadSetting(const std::string& path) = 0;
  // True when the value was stored; never throws.
  virtual bool WriteSetting(const std::string& path, const std::string& value) = 0;
  // The file that holds the values, so that no other writer takes it;
  // empty where they are not kept in a file of their own.
  virtual std::string ValuesFile() const { return ""; }
};

// The system's own: the registry on Windows, a per-machine file elsewhere.
std::unique_ptr<SettingsStore> MakeSystemSettingsStore();

}  // namespace traskel
