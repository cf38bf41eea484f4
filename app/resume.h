// Where a conversion that ended part-way stopped, remembered per user and
// per export, so that the next run of the same export can go on after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "conversion/fingerprint.h"
#include "platform/result.h"
#include "platform/settings.h"

namespace traskel {

// One value below it per export, each an entry of its own, written whole.
inline constexpr const char* kStopPointsKey = "HKCU\\Software\\Zelvar\\Kastovel\\CSV\\Fortsetzen";
// The newest entries kept; older ones go as new ones come.
inline constexpr std::size_t kKeptStopPoints = 50;

struct StopPoint {
  std::string file;         // the export, its path as the system resolves it
  std::int64_t line = 0;    // L, the last line whose commands are all in the host
  std::int64_t lines = 0;   // M, the lines of the export then
  std::string fingerprint;  // StopPointFingerprint of the file and its lines 1 to L
  // The line whose command the stop left half-built in the host, L+1, with
  // the command's label; 0 when none was.
  std::int64_t halfBuilt = 0;
  std::string halfBuiltName;
  bool halfBuiltMaybe = false;  // only possibly: the call that adds it never returned

  bool operator==(const StopPoint&) const = default;
};

// The fingerprint of an export's lines 1 to L read in `encoding`, and of its
// path: the same lines in another export are another place.
std::string StopPointFingerprint(const std::string& file, const LinesFingerprint& lines,
                                 TextEncoding encoding);

// The export's entry; nothing when there is none, or when it can't be read
// whole (damaged, too long, another export's): such an entry is not trusted.
std::optional<StopPoint> ReadStopPoint(SettingsStore& settings, const std::string& file);

// Replaces the export's entry with one value, then lets the oldest entries
// go beyond kKeptStopPoints.
Result<void> RememberStopPoint(SettingsStore& settings, const StopPoint& point);

// Removes the export's entry and no other.
Result<void> ForgetStopPoint(SettingsStore& settings, const std::string& file);

}  // namespace traskel
