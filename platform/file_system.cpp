// What the kinds of file share, and the ways of opening the one file object.
#include "platform/file_system.h"

namespace traskel {

Result<std::string> File::ReadStart(std::size_t size) {
  std::string bytes(size, '\0');
  const Result<std::size_t> got = ReadAt(bytes.data(), size, 0);
  if (!got) return got.failure();
  bytes.resize(*got);
  return bytes;
}

Result<std::unique_ptr<InputFile>> FileSystem::OpenForReading(const std::string& path) {
  return Open(path, Opening::Read);
}

Result<std::unique_ptr<HeldFile>> FileSystem::TakeFile(const std::string& path) {
  return Open(path, Opening::Take);
}

Result<std::unique_ptr<LogFile>> FileSystem::OpenLogFile(const std::string& path,
                                                         LogFile::Mode mode) {
  return Open(path, mode == LogFile::Mode::Append ? Opening::Append : Opening::Keep);
}

Result<std::unique_ptr<OutputFile>> FileSystem::CreateNew(const std::string& path,
                                                          Readers readers) {
  return Open(path, readers == Readers::Everyone ? Opening::CreateForAll : Opening::CreateForOwner);
}

}  // namespace traskel
