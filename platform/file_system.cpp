// What the kinds of file share, and the ways of opening the one file object.
#include "platform/file_system.h"

namespace traskel {

namespace {

template <typename Kind>
Result<std::unique_ptr<Kind>> As(Result<std::unique_ptr<File>> file) {
  if (!file) return file.failure();
  return std::unique_ptr<Kind>(std::move(*file));
}

}  // namespace

Result<std::string> File::ReadStart(std::size_t size) {
  std::string bytes(size, '\0');
  const Result<std::size_t> got = ReadAt(bytes.data(), size, 0);
  if (!got) return got.failure();
  bytes.resize(*got);
  return bytes;
}

Result<std::unique_ptr<InputFile>> FileSystem::OpenForReading(const std::string& path) {
  return As<InputFile>(Open(path, Opening::Read));
}

Result<std::unique_ptr<HeldFile>> FileSystem::TakeFile(const std::string& path) {
  return As<HeldFile>(Open(path, Opening::Take));
}

Result<std::unique_ptr<LogFile>> FileSystem::OpenLogFile(const std::string& path,
                                                         LogFile::Mode mode) {
  return As<LogFile>(Open(path, mode == LogFile::Mode::Append ? Opening::Append : Opening::Keep));
}

Result<std::unique_ptr<OutputFile>> FileSystem::CreateNew(const std::string& path,
                                                          Readers readers) {
  return As<OutputFile>(
      Open(path, readers == Readers::Everyone ? Opening::CreateForAll : Opening::CreateForOwner));
}

}  // namespace traskel
