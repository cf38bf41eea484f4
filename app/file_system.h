// File functions of the platform, with its own path rules. Paths are UTF-8.
#pragma once

#include <cstdio>
#include <string>

namespace traskel {

// The directory part of a path: everything up to the last separator, without
// that separator.
std::string SplitPathFromFile(const std::string& file);

// True when the file's length can be read: an empty file exists, a folder,
// a device, a pipe or a missing name does not.
bool FileExists(const std::string& file);

// Opens a file in binary mode ("rb" or "wb"); nullptr and errno on failure.
std::FILE* OpenBinary(const std::string& path, const char* mode);

// Removes a file; false when it could not.
bool RemoveFile(const std::string& path);

// The platform's text for the last error of a file operation.
std::string LastFileError();

// Text of the system's single-byte code page (the process locale's character
// set on POSIX) as UTF-8; a byte that does not decode becomes U+FFFD.
std::string DecodeSystemText(const std::string& bytes);

}  // namespace traskel
