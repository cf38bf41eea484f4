// The settings store: text values addressed by full value paths such as
// "HKLM\SOFTWARE\...\LastImportFile", per machine, or per user below HKCU.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace traskel {

class FileSystem;

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored value; a value that is not there is the empty string. Never
  // throws.
  virtual Result<std::string> Read(const std::string& path) = 0;
  // Stores the value. Never throws.
  virtual Result<void> Write(const std::string& path, const std::string& value) = 0;
  // The values directly below the key, such as "HKCU\\Software\\X", as
  // (name, value) pairs; none when the key is not there. Never throws.
  virtual Result<std::vector<std::pair<std::string, std::string>>> List(const std::string& key) = 0;
  // Removes the value; one that is not there is gone already. Never throws.
  virtual Result<void> Remove(const std::string& path) = 0;
  // The files that hold the values, so that no other writer takes them;
  // none where they are not kept in files of their own.
  virtual std::vector<std::string> ValuesFiles() const { return {}; }
};

// The system's own: the registry on Windows; elsewhere a per-machine and a
// per-user file, kept through `files`, which must outlive the store.
std::unique_ptr<SettingsStore> MakeSystemSettingsStore(FileSystem& files);

}  // namespace traskel
