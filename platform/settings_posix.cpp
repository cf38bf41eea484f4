// The settings store of POSIX systems: a key-value text file standing in for
// the per-machine registry hive. One "key=value" line per value, keyed by the
// full value path; '%', CR and LF (and '=' in keys) are percent-encoded so any
// path round-trips.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/settings.h"
#include "platform/settings_file.h"

namespace traskel {
namespace {

// Per machine like the hive it stands in for, so ordinary users cannot write
// it; TRASKEL_SETTINGS_DIR names another folder for tests and demos.
constexpr const char* kMachineFolder = "/var/lib/traskel";
constexpr const char* kFileName = "settings";

std::string Encode(std::string_view text, bool isKey) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else if (c == '=' && isKey) {
      out += "%3D";
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A '%' without two hex digits stays as it is, so a hand-edited file reads.
std::string Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int high = HexDigit(text[i + 1]);
      int low = HexDigit(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    std::size_t end = content.find('\n');
    if (end == std::string_view::npos) end = content.size();
    lines.push_back(content.substr(0, end));
    content.remove_prefix(end < content.size() ? end + 1 : end);
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
constexpr off_t kMaxFileBytes = 1 << 20;

// False when the file exists but cannot be read; a missing file reads empty.
// Only a regular file of at most kMaxFileBytes is read: a pipe would block,
// a device such as /dev/zero would never end.
bool ReadWholeFile(const std::string& file, std::string& content) {
  content.clear();
  struct stat info;
  if (::stat(file.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISREG(info.st_mode)) return false;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileBytes;
  char buffer[4096];
  while (ok) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    content.append(buffer, static_cast<std::size_t>(got));
    // Grown since the look at its size.
    ok = content.size() <= static_cast<std::size_t>(kMaxFileBytes);
  }
  ::close(fd);
  return ok;
}

// Creates the folder and its parents; true when it is a folder afterwards.
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), 0755);
  }
  ::mkdir(folder.c_str(), 0755);
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Writes a temporary file beside the target and renames it over, so readers
// see either the old or the new file, never a part.
bool ReplaceFile(const std::string& folder, const std::string& file, const std::string& content) {
  std::string pattern = folder + "/" + kFileName + ".XXXXXX";
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) return false;
  std::FILE* f = ::fchmod(fd, 0644) == 0 ? ::fdopen(fd, "wb") : nullptr;
  if (f == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return false;
  }
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size() &&
            std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
  ok = std::fclose(f) == 0 && ok;
  ok = ok && std::rename(pattern.c_str(), file.c_str()) == 0;
  if (!ok) {
    ::unlink(pattern.c_str());
    return false;
  }
  // Makes the rename itself durable; the value is stored either way.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

class FileSettingsStore : public SettingsStore {
 public:
  explicit FileSettingsStore(std::string folder)
      : folder_(folder.empty() ? "." : std::move(folder)), file_(folder_ + "/" + kFileName) {}

  std::string ReadSetting(const std::string& path) override {
    try {
      std::string content;
      if (!ReadWholeFile(file_, content)) return "";
      std::string key;
      for (std::string_view line : SplitLines(content)) {
        if (KeyOf(line, key) && key == path) return Decode(line.substr(line.find('=') + 1));
      }
    } catch (...) {
    }
    return "";
  }

  std::string ValuesFile() const override { return file_; }

  bool WriteSetting(const std::string& path, const std::string& value) override {
    try {
      if (!MakeFolders(folder_)) return false;
      std::string content;
      // An unreadable file is not rewritten: its other values would be lost.
      if (!ReadWholeFile(file_, content)) return false;
      std::string entry = Encode(path, true) + "=" + Encode(value, false);
      std::string updated;
      bool placed = false;
      std::string key;
      for (std::string_view line : SplitLines(content)) {
        if (KeyOf(line, key) && key == path) {
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
      return ReplaceFile(folder_, file_, updated);
    } catch (...) {
      return false;
    }
  }

 private:
  std::string folder_;
  std::string file_;
};

}  // namespace

std::unique_ptr<SettingsStore> MakeFileSettingsStore(const std::string& folder) {
  return std::make_unique<FileSettingsStore>(folder);
}

std::unique_ptr<SettingsStore> MakeSystemSettingsStore() {
  const char* folder = std::getenv("TRASKEL_SETTINGS_DIR");
  return MakeFileSettingsStore(folder != nullptr && *folder != '\0' ? folder : kMachineFolder);
}

}  // namespace traskel
