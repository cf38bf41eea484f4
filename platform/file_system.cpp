// The kinds of file, each a way of opening the system's one file object.
#include "platform/file_system.h"

namespace traskel {

namespace {

// Every kind of file over the one object; the way it was opened decides as
// which kind its caller sees it.
class OpenFile final : public InputFile, public OutputFile, public HeldFile, public LogFile {
 public:
  OpenFile(std::unique_ptr<File> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return file_->Read(buffer, size);
  }
  Result<void> Rewind() override { return file_->Rewind(); }
  const std::string& path() const override { return path_; }
  Result<void> Write(std::string_view bytes) override { return file_->Write(bytes); }
  Result<void> Sync() override { return file_->Sync(); }
  Result<void> Close() override { return file_->Close(); }
  Result<void> Clear() override { return file_->Truncate(0); }
  Result<void> Remove() override { return file_->Remove(); }
  Result<void> Append(std::string_view text) override { return file_->Write(text); }
  Result<std::string> ReadStart(std::size_t size) override {
    std::string bytes(size, '\0');
    const Result<std::size_t> got = file_->ReadAt(bytes.data(), size, 0);
    if (!got) return got.failure();
    bytes.resize(*got);
    return bytes;
  }
  bool IsReachedBy(const std::string& path) const override { return file_->IsReachedBy(path); }
  Result<void> Resize(std::uint64_t length) override { return file_->Truncate(length); }
  Result<void> Discard() override { return file_->Made() ? file_->Remove() : file_->Close(); }

 private:
  std::unique_ptr<File> file_;
  std::string path_;
};

template <typename Kind>
Result<std::unique_ptr<Kind>> As(Result<std::unique_ptr<File>> file, const std::string& path) {
  if (!file) return file.failure();
  return std::unique_ptr<Kind>(std::make_unique<OpenFile>(std::move(*file), path));
}

}  // namespace

Result<std::unique_ptr<InputFile>> FileSystem::OpenForReading(const std::string& path) {
  return As<InputFile>(Open(path, Opening::Read), path);
}

Result<std::unique_ptr<HeldFile>> FileSystem::TakeFile(const std::string& path) {
  return As<HeldFile>(Open(path, Opening::Take), path);
}

Result<std::unique_ptr<LogFile>> FileSystem::OpenLogFile(const std::string& path,
                                                         LogFile::Mode mode) {
  return As<LogFile>(Open(path, mode == LogFile::Mode::Append ? Opening::Append : Opening::Keep),
                     path);
}

Result<std::unique_ptr<OutputFile>> FileSystem::CreateNew(const std::string& path,
                                                          Readers readers) {
  return As<OutputFile>(
      Open(path, readers == Readers::Everyone ? Opening::CreateForAll : Opening::CreateForOwner),
      path);
}

}  // namespace traskel
