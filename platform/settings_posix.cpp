// The settings store of POSIX systems: key-value text files standing in for
// the registry's hives, kept through the file system object: one per machine
// for HKLM and the rest, one per user for HKCU. One "key=value" line per
// value, keyed by the full value path; '%', CR and LF (and '=' in keys) are
// percent-encoded so any path round-trips. The user's file is theirs alone
// (mode 0600, and 0700 for the folders made for it), as the registry's
// per-user hive is: it names the user's files.
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/settings.h"
#include "platform/settings_file.h"

namespace traskel {
namespace {

// Per machine like the hive it stands in for, so ordinary users cannot write
// it; TRASKEL_SETTINGS_DIR names another folder for tests and demos, which
// then holds the user's file too.
constexpr const char* kMachineFolder = "/var/lib/traskel";
constexpr const char* kFileName = "settings";
// The user's, in the folder for state that programs keep per user.
constexpr const char* kUserFileName = "traskel";

std::string Encode(std::string_view text, bool isKey) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%' || c == '\r' || c == '\n' || (c == '=' && isKey)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

// A '%' without two hex digits stays as it is, so a hand-edited file reads.
std::string Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    const char* digits = text.data() + i + 1;
    if (text[i] == '%' && i + 2 < text.size() &&
        std::from_chars(digits, digits + 2, value, 16).ptr == digits + 2) {
      out += static_cast<char>(value);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    const std::size_t end = std::min(content.find('\n'), content.size());
    lines.push_back(content.substr(0, end));
    content.remove_prefix(std::min(end + 1, content.size()));
  }
  return lines;
}

// The decoded key of a line, or nothing for a line without '='.
bool KeyOf(std::string_view line, std::string& key) {
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  key = Decode(line.substr(0, equals));
  return true;
}

// The most a settings file may hold; a longer one is not this store's.
constexpr std::size_t kMaxFileBytes = 1 << 20;

// What the file holds; a missing file holds nothing. Only a regular file of
// at most kMaxFileBytes is read: a pipe would block, a device such as
// /dev/zero would never end.
Result<std::string> ReadWholeFile(FileSystem& files, const std::string& file) {
  Result<std::unique_ptr<InputFile>> opened = files.OpenForReading(file);
  if (!opened) {
    if (opened.failure().kind == FailureKind::NotFound) return std::string();
    return opened.failure();
  }
  std::string content;
  char buffer[4096];
  for (;;) {
    const Result<std::size_t> got = (*opened)->Read(buffer, sizeof buffer);
    if (!got) return got.failure();
    if (*got == 0) return content;
    content.append(buffer, *got);
    if (content.size() > kMaxFileBytes) return Finding(FailureKind::TooLarge);
  }
}

// The settings file of one hive, in its folder.
struct Hive {
  Hive(std::string in, const char* name, Readers who)
      : folder(in.empty() ? "." : std::move(in)), file(folder + "/" + name), readers(who) {}
  std::string folder;
  std::string file;
  Readers readers;
};

// Replaces the hive's file with one that holds `content`: written as a temporary
// file beside it and renamed over it, so readers see either the old or the
// new file, never a part. Only while the caller holds the folder's lock, as
// the temporary file's name is one for all writers.
Result<void> ReplaceFile(FileSystem& files, const Hive& hive, const std::string& content) {
  const std::string temporary = hive.file + ".neu";
  // One left by a writer that was killed half-way.
  static_cast<void>(files.Remove(temporary));  // when it can't go, the create says why
  Result<std::unique_ptr<OutputFile>> made = files.CreateNew(temporary, hive.readers);
  if (!made) return made.failure();
  Result<void> done = (*made)->Write(content);
  if (done) done = (*made)->Sync();
  if (Result<void> closed = (*made)->Close(); done && !closed) done = closed;
  if (done) done = files.Rename(temporary, hive.file);
  if (!done) {
    static_cast<void>(files.Remove(temporary));  // the value is not stored either way
    return done;
  }
  // Makes the rename itself durable; the value is stored either way.
  static_cast<void>(files.SyncFolder(hive.folder));
  return {};
}

// A path below HKEY_CURRENT_USER, in either spelling and any letter case, as
// the registry reads it.
bool PerUser(std::string_view path) {
  const auto below = [path](std::string_view root) {
    return path.size() > root.size() && path[root.size()] == '\\' &&
           ::strncasecmp(path.data(), root.data(), root.size()) == 0;
  };
  return below("HKCU") || below("HKEY_CURRENT_USER");
}

// Each value in the file of its hive: HKCU's in the user's, all others in
// the machine's.
class FileSettingsStore : public SettingsStore {
 public:
  FileSettingsStore(FileSystem& files, const std::string& machineFolder,
                    const std::string& userFolder)
      : files_(files),
        machine_(machineFolder, kFileName, Readers::Everyone),
        user_(userFolder, kUserFileName, Readers::OwnerOnly) {}

  Result<std::string> Read(const std::string& path) override {
    return Caught([&]() -> Result<std::string> {
      Result<std::string> content = ReadWholeFile(files_, Of(path).file);
      if (!content) return content;
      std::string key;
      for (std::string_view line : SplitLines(*content)) {
        if (KeyOf(line, key) && key == path) return Decode(line.substr(line.find('=') + 1));
      }
      return std::string();
    });
  }

  Result<std::vector<std::pair<std::string, std::string>>> List(const std::string& key) override {
    return Caught([&]() -> Result<std::vector<std::pair<std::string, std::string>>> {
      const std::string below = key + "\\";
      Result<std::string> content = ReadWholeFile(files_, Of(below).file);
      if (!content) return content.failure();
      std::vector<std::pair<std::string, std::string>> values;
      std::string path;
      for (std::string_view line : SplitLines(*content)) {
        if (!KeyOf(line, path) || !path.starts_with(below)) continue;
        std::string name = path.substr(below.size());
        if (name.find('\\') != std::string::npos) continue;  // in a key further down
        // Only the first line of a key is read.
        if (std::any_of(values.begin(), values.end(),
                        [&](const auto& v) { return v.first == name; }))
          continue;
        values.emplace_back(std::move(name), Decode(line.substr(line.find('=') + 1)));
      }
      return values;
    });
  }

  std::vector<std::string> ValuesFiles() const override { return {machine_.file, user_.file}; }

  Result<void> Write(const std::string& path, const std::string& value) override {
    return Change(path, Encode(path, true) + "=" + Encode(value, false));
  }

  Result<void> Remove(const std::string& path) override { return Change(path, ""); }

 private:
  // Puts `entry` in the place of the key's line, or takes the line out when
  // entry is empty. Under the folder's lock, so that two programs changing
  // values at the same moment each keep the other's.
  Result<void> Change(const std::string& path, const std::string& entry) {
    return Caught([&]() -> Result<void> {
      const Hive& hive = Of(path);
      if (Result<void> made = files_.MakeFolders(hive.folder, hive.readers); !made) return made;
      Result<std::unique_ptr<FolderLock>> lock = files_.LockFolder(hive.folder);
      if (!lock) return lock.failure();
      // An unreadable file is not rewritten: its other values would be lost.
      Result<std::string> content = ReadWholeFile(files_, hive.file);
      if (!content) return content.failure();
      std::string updated;
      bool placed = entry.empty();
      bool changed = false;
      std::string key;
      for (std::string_view line : SplitLines(*content)) {
        if (KeyOf(line, key) && key == path) {
          changed = true;
          // Only the first line of a key is read; later duplicates go.
          if (placed) continue;
          updated += entry;
          placed = true;
        } else {
          updated += line;
        }
        updated += '\n';
      }
      if (!placed) updated += entry + "\n";
      // Removing what is not there leaves the file as it is.
      if (entry.empty() && !changed) return {};
      return ReplaceFile(files_, hive, updated);
    });
  }

  const Hive& Of(const std::string& path) const { return PerUser(path) ? user_ : machine_; }

  FileSystem& files_;
  Hive machine_;
  Hive user_;
};

// An absolute path from the environment; anything else is not to be used.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? value : "";
}

// $XDG_STATE_HOME, by default ~/.local/state.
std::string UserStateFolder() {
  if (std::string state = AbsoluteFromEnvironment("XDG_STATE_HOME"); !state.empty()) return state;
  std::string home = AbsoluteFromEnvironment("HOME");
  if (home.empty()) {
    const passwd* user = ::getpwuid(::getuid());
    if (user != nullptr && user->pw_dir != nullptr) home = user->pw_dir;
  }
  return home + "/.local/state";
}

}  // namespace

std::unique_ptr<SettingsStore> MakeFileSettingsStore(FileSystem& files, const std::string& folder,
                                                     const std::string& userFolder) {
  return std::make_unique<FileSettingsStore>(files, folder,
                                             userFolder.empty() ? folder : userFolder);
}

std::unique_ptr<SettingsStore> MakeSystemSettingsStore(FileSystem& files) {
  const char* folder = std::getenv("TRASKEL_SETTINGS_DIR");
  if (folder != nullptr && *folder != '\0') return MakeFileSettingsStore(files, folder);
  return MakeFileSettingsStore(files, kMachineFolder, UserStateFolder());
}

}  // namespace traskel
