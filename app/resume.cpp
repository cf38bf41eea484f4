#include "app/resume.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <string_view>
#include <utility>
#include <vector>

namespace traskel {

namespace {

// "1|written|L|M|fingerprint|half-built line|possibly (0 or 1)|its label|file":
// the written time, in microseconds, orders the entries for keeping the newest.
constexpr std::string_view kVersion = "1";
constexpr char kSeparator = '|';
constexpr std::size_t kFields = 9;
// No entry Traskel writes is longer; a longer one is not its own.
constexpr std::size_t kMostEntryBytes = 16 * 1024;

// The value's name: one per export, whatever its path holds.
std::string EntryName(const std::string& file) {
  Fingerprint name;
  name.Feed(file);
  return name.Hex();
}

std::string EntryPath(const std::string& file) {
  return std::string(kStopPointsKey) + "\\" + EntryName(file);
}

// '%', the separator and control characters as %XX: an entry is one line of
// plain text in every store.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '%' || c == kSeparator || c < 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::optional<std::int64_t> Number(std::string_view text) {
  std::int64_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || n < 0) {
    return std::nullopt;
  }
  return n;
}

bool IsFingerprint(std::string_view text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::vector<std::string_view> Split(std::string_view entry) {
  std::vector<std::string_view> fields;
  for (std::size_t at = 0;;) {
    const std::size_t end = entry.find(kSeparator, at);
    fields.push_back(entry.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) return fields;
    at = end + 1;
  }
}

struct Entry {
  std::int64_t written = 0;
  StopPoint point;
};

// An entry as written; nothing for one that is not whole and sound.
std::optional<Entry> Parse(std::string_view text) {
  if (text.size() > kMostEntryBytes) return std::nullopt;
  const std::vector<std::string_view> f = Split(text);
  if (f.size() != kFields || f[0] != kVersion) return std::nullopt;
  const auto written = Number(f[1]), line = Number(f[2]), lines = Number(f[3]),
             halfBuilt = Number(f[5]);
  auto name = Unescaped(f[7]), file = Unescaped(f[8]);
  if (!written || !line || !lines || !halfBuilt || !name || !file || !IsFingerprint(f[4]) ||
      (f[6] != "0" && f[6] != "1")) {
    return std::nullopt;
  }
  // A place before the end, with something to go on with; a half-built
  // command only right after it.
  if (*line < 1 || *line >= *lines || (*halfBuilt != 0 && *halfBuilt != *line + 1)) {
    return std::nullopt;
  }
  return Entry{*written,
               {std::move(*file), *line, *lines, std::string(f[4]), *halfBuilt, std::move(*name),
                *halfBuilt != 0 && f[6] == "1"}};
}

std::string Format(const StopPoint& point) {
  const auto written = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  const std::string separator(1, kSeparator);
  return std::string(kVersion) + separator + std::to_string(written) + separator +
         std::to_string(point.line) + separator + std::to_string(point.lines) + separator +
         point.fingerprint + separator + std::to_string(point.halfBuilt) + separator +
         (point.halfBuiltMaybe ? "1" : "0") + separator + Escaped(point.halfBuiltName) + separator +
         Escaped(point.file);
}

// Lets the oldest entries go beyond the number kept; one that can't be read
// counts as the oldest. Each goes on its own: should another run prune at
// the same time, fewer may stay, never a broken one.
void KeepNewest(SettingsStore& settings) {
  Result<std::vector<std::pair<std::string, std::string>>> all = settings.List(kStopPointsKey);
  if (!all || all->size() <= kKeptStopPoints) return;
  std::vector<std::pair<std::int64_t, std::string>> byAge;
  for (const auto& [name, value] : *all) {
    const std::optional<Entry> entry = Parse(value);
    byAge.emplace_back(entry ? entry->written : -1, name);
  }
  std::sort(byAge.begin(), byAge.end());
  for (std::size_t i = 0; i + kKeptStopPoints < byAge.size(); ++i) {
    // One that stays is only one more than meant.
    static_cast<void>(settings.Remove(std::string(kStopPointsKey) + "\\" + byAge[i].second));
  }
}

}  // namespace

std::string StopPointFingerprint(const std::string& file, const LinesFingerprint& lines,
                                 TextEncoding encoding) {
  Fingerprint both;
  both.Feed(file);
  both.Feed(std::string_view("\0", 1));  // no path holds one
  both.Feed(lines.Hex(encoding));
  return both.Hex();
}

std::optional<StopPoint> ReadStopPoint(SettingsStore& settings, const std::string& file) {
  const Result<std::string> value = settings.Read(EntryPath(file));
  if (!value || value->empty()) return std::nullopt;
  std::optional<Entry> entry = Parse(*value);
  if (!entry || entry->point.file != file) return std::nullopt;
  return std::move(entry->point);
}

Result<void> RememberStopPoint(SettingsStore& settings, const StopPoint& point) {
  if (Result<void> written = settings.Write(EntryPath(point.file), Format(point)); !written) {
    return written;
  }
  KeepNewest(settings);
  return {};
}

Result<void> ForgetStopPoint(SettingsStore& settings, const std::string& file) {
  return settings.Remove(EntryPath(file));
}

}  // namespace traskel
