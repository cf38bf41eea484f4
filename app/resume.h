// Where a conversion that ended part-way stopped, remembered per user, so
// that the next run of the same export can go on after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"
#include "platform/settings.h"

namespace traskel {

// The values Datei, Zeile and Pruefsumme below it.
inline constexpr const char* kStopPointKey = "HKCU\\Software\\Zelvar\\Kastovel\\CSV\\Fortsetzen\\";

struct StopPoint {
  std::string file;         // the export, full path
  std::int64_t line = 0;    // the last line whose commands are all in the host
  std::string fingerprint;  // of the lines up to it, as LinesFingerprint makes it
};

// What is remembered; nothing when nothing whole is.
std::optional<StopPoint> ReadStopPoint(SettingsStore& settings);

Result<void> RememberStopPoint(SettingsStore& settings, const StopPoint& point);

// Nothing is remembered afterwards, as far as the store lets it.
void ForgetStopPoint(SettingsStore& settings);

}  // namespace traskel
