#include "app/resume.h"

#include <charconv>

namespace traskel {

namespace {

std::string Value(const char* name) {
  return std::string(kStopPointKey) + name;
}

}  // namespace

std::optional<StopPoint> ReadStopPoint(SettingsStore& settings) {
  StopPoint point;
  point.file = settings.ReadSetting(Value("Datei"));
  if (point.file.empty()) return std::nullopt;
  const std::string line = settings.ReadSetting(Value("Zeile"));
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), point.line);
  if (error != std::errc() || end != line.data() + line.size() || point.line < 1) {
    return std::nullopt;
  }
  point.fingerprint = settings.ReadSetting(Value("Pruefsumme"));
  if (point.fingerprint.empty()) return std::nullopt;
  return point;
}

Result<void> RememberStopPoint(SettingsStore& settings, const StopPoint& point) {
  // The file last: should a write fail, what is left either belongs
  // together or holds a fingerprint that no export's lines give.
  if (Result<void> done = settings.Write(Value("Pruefsumme"), point.fingerprint); !done) {
    return done;
  }
  if (Result<void> done = settings.Write(Value("Zeile"), std::to_string(point.line)); !done) {
    return done;
  }
  return settings.Write(Value("Datei"), point.file);
}

void ForgetStopPoint(SettingsStore& settings) {
  // Without the file, the rest is never read.
  settings.WriteSetting(Value("Datei"), "");
  settings.WriteSetting(Value("Zeile"), "");
  settings.WriteSetting(Value("Pruefsumme"), "");
}

}  // namespace traskel
