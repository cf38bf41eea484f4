// File functions of the platform, with its own path rules. Paths are UTF-8.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace traskel {

// The directory part of a path: everything up to the last separator, without
// that separator.
std::string SplitPathFromFile(const std::string& file);

// The folder the open dialog starts in for a folder part SplitPathFromFile
// gave: the same folder, written so that the dialog reads it as meant.
std::string DialogStartFolder(const std::string& folder);

// The path made absolute against the current folder, naming the file the
// system opens for it: POSIX keeps ".." for the system to take after the
// links before it, Windows takes it off by text as its own calls do. An
// empty name stays empty, for the existence check to refuse.
std::string AbsolutePath(const std::string& path);

// True when the file's length can be read: an empty file exists, a folder,
// a device, a pipe or a missing name does not.
bool FileExists(const std::string& file);

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
// An open file, closed when it goes.
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file in binary mode ("rb" or "wb"); empty and errno on failure.
File OpenBinary(const std::string& path, const char* mode);

// True when both names lead to the same file.
bool SameFile(const std::string& a, const std::string& b);

// Removes a file; false when it could not.
bool RemoveFile(const std::string& path);

// The platform's text for the last error of a file operation.
std::string LastFileError();

}  // namespace traskel
