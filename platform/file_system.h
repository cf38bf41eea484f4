// Files by name, with the platform's own path rules. Paths are UTF-8.
//
// Whatever the program does with a file goes through one FileSystem object,
// and the files it opens are objects of their own: one call for each
// operation that can fail, so that a stand-in can watch or fail any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/byte_source.h"
#include "platform/held_file.h"
#include "platform/log_file.h"
#include "platform/result.h"

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

// A file open for reading, from its first byte; closed when it goes.
class InputFile : public ByteSource {
 public:
  ~InputFile() override = default;
  // Reading starts again at the first byte.
  virtual Result<void> Rewind() = 0;
};

// A file made for writing; closed when it goes, unless Close did.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Appends all bytes.
  virtual Result<void> Write(std::string_view bytes) = 0;
  // What was written is on the disk.
  virtual Result<void> Sync() = 0;
  // Nothing else may be asked of it afterwards.
  virtual Result<void> Close() = 0;
};

// Who may read a file or folder a FileSystem makes, where the system keeps
// such rights (POSIX; on Windows the folder's rights pass on as they are).
enum class Readers { Everyone, OwnerOnly };

// Held until it goes.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// One open file of the system's: each kind of file above is a way of
// opening it, and what they share is said once. Closed when it goes, unless
// Close or Remove did; nothing else may be asked of it after those.
class File : public InputFile, public OutputFile, public HeldFile, public LogFile {
 public:
  Result<std::size_t> Read(char* buffer, std::size_t size) override = 0;
  Result<void> Rewind() override = 0;
  // All bytes, where the last read or write ended or, opened to append, at
  // the end.
  Result<void> Write(std::string_view bytes) override = 0;
  Result<void> Close() override = 0;
  // Deletes the file, through the hold where there is one, and closes it; a
  // name that no longer leads to the file is left alone (NameMoved).
  Result<void> Remove() override = 0;
  // size bytes from offset, fewer only at the end. Afterwards only Rewind
  // or Truncate says where the next read or write goes.
  virtual Result<std::size_t> ReadAt(char* buffer, std::size_t size, std::uint64_t offset) = 0;
  // Cuts the file to `length` bytes and goes on there. The null device
  // stays as it is.
  virtual Result<void> Truncate(std::uint64_t length) = 0;
  // True when the opening made the file.
  virtual bool Made() const = 0;

  Result<void> Clear() final { return Truncate(0); }
  Result<void> Append(std::string_view text) final { return Write(text); }
  Result<std::string> ReadStart(std::size_t size) final;
  Result<void> Resize(std::uint64_t length) final { return Truncate(length); }
  Result<void> Discard() final { return Made() ? Remove() : Close(); }
};

// The ways of opening a file, as the functions of FileSystem below tell.
enum class Opening { Read, CreateForAll, CreateForOwner, Take, Append, Keep };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when the file's length can be read: an empty file exists, a folder,
  // a device, a pipe or a missing name does not, nor a name the system
  // refuses to look at.
  virtual bool Exists(const std::string& path) = 0;
  // True when both names lead to the same file.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;

  // The file at path, opened the way asked; the four functions below give
  // it as the kind of file their callers use.
  virtual Result<std::unique_ptr<File>> Open(const std::string& path, Opening how) = 0;

  // Opens a regular file for reading; a pipe or a device is refused without
  // waiting for it.
  Result<std::unique_ptr<InputFile>> OpenForReading(const std::string& path);
  // Creates the file at path, or takes the regular file with a single name
  // that is there, as it is, and holds it: opening and holding are one step,
  // as on Windows the hold is the way the file is opened. Anything else is
  // refused without writing or deleting a byte there: a link, a file of
  // other names, one that is no regular file, one another holder has
  // (HeldByOther) or one open elsewhere in a way that keeps holders out
  // (InUse).
  Result<std::unique_ptr<HeldFile>> TakeFile(const std::string& path);
  Result<std::unique_ptr<LogFile>> OpenLogFile(const std::string& path, LogFile::Mode mode);
  // A new file at path, where nothing may be yet, not even a link.
  Result<std::unique_ptr<OutputFile>> CreateNew(const std::string& path, Readers readers);

  // Puts the file `from` in the place of `to` in one step.
  virtual Result<void> Rename(const std::string& from, const std::string& to) = 0;
  virtual Result<void> Remove(const std::string& path) = 0;
  // Creates the folder and those above it that are missing; fails unless it
  // is a folder afterwards.
  virtual Result<void> MakeFolders(const std::string& folder, Readers readers) = 0;
  // Makes the names in the folder durable, as a rename into it left them.
  virtual Result<void> SyncFolder(const std::string& folder) = 0;
  // Waits until no other holder, of this process or another, has the
  // folder's lock, then holds it until the lock goes. Only holders take
  // note of it; it keeps no one else out.
  virtual Result<std::unique_ptr<FolderLock>> LockFolder(const std::string& folder) = 0;
  // The path by which the system knows the file: absolute, with every link
  // and "." or ".." part resolved. The file must exist.
  virtual Result<std::string> ResolvedPath(const std::string& path) = 0;
};

// The system's own, with its one file object.
class SystemFileSystem final : public FileSystem {
 public:
  bool Exists(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  Result<std::unique_ptr<File>> Open(const std::string& path, Opening how) override;
  Result<void> Rename(const std::string& from, const std::string& to) override;
  Result<void> Remove(const std::string& path) override;
  Result<void> MakeFolders(const std::string& folder, Readers readers) override;
  Result<void> SyncFolder(const std::string& folder) override;
  Result<std::unique_ptr<FolderLock>> LockFolder(const std::string& folder) override;
  Result<std::string> ResolvedPath(const std::string& path) override;
};

}  // namespace traskel
