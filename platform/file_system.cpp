// The kinds of file, each a way of opening the system's one file object.
#include "platform/file_system.h"

namespace traskel {

namespace {

class OpenInput final : public InputFile {
 public:
  explicit OpenInput(std::unique_ptr<File> file) : file_(std::move(file)) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return file_->Read(buffer, size);
  }
  Result<void> Rewind() override { return file_->Rewind(); }

 private:
  std::unique_ptr<File> file_;
};

class OpenOutput final : public OutputFile {
 public:
  OpenOutput(std::unique_ptr<File> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}
  const std::string& path() const override { return path_; }
  Result<void> Write(std::string_view bytes) override { return file_->Write(bytes); }
  Result<void> Sync() override { return file_->Sync(); }
  Result<void> Close() override { return file_->Close(); }

 private:
  std::unique_ptr<File> file_;
  std::string path_;
};

class OpenHeld final : public HeldFile {
 public:
  explicit OpenHeld(std::unique_ptr<File> file) : file_(std::move(file)) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return file_->Read(buffer, size);
  }
  Result<void> Clear() override { return file_->Truncate(0); }
  Result<void> Write(std::string_view bytes) override { return file_->Write(bytes); }
  Result<void> Rewind() override { return file_->Rewind(); }
  Result<void> Remove() override { return file_->Remove(); }

 private:
  std::unique_ptr<File> file_;
};

class OpenLog final : public LogFile {
 public:
  explicit OpenLog(std::unique_ptr<File> file) : file_(std::move(file)) {}
  Result<void> Append(std::string_view text) override { return file_->Write(text); }
  Result<void> Close() override { return file_->Close(); }
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
};

// The opened file as the kind of file its caller uses.
template <typename Open, typename Kind, typename... More>
Result<std::unique_ptr<Kind>> Opened(Result<std::unique_ptr<File>> file, More&&... more) {
  if (!file) return file.failure();
  return std::unique_ptr<Kind>(
      std::make_unique<Open>(std::move(*file), std::forward<More>(more)...));
}

}  // namespace

Result<std::unique_ptr<InputFile>> FileSystem::OpenForReading(const std::string& path) {
  return Opened<OpenInput, InputFile>(Open(path, Opening::Read));
}

Result<std::unique_ptr<HeldFile>> FileSystem::TakeFile(const std::string& path) {
  return Opened<OpenHeld, HeldFile>(Open(path, Opening::Take));
}

Result<std::unique_ptr<LogFile>> FileSystem::OpenLogFile(const std::string& path,
                                                         LogFile::Mode mode) {
  return Opened<OpenLog, LogFile>(
      Open(path, mode == LogFile::Mode::Append ? Opening::Append : Opening::Keep));
}

Result<std::unique_ptr<OutputFile>> FileSystem::CreateNew(const std::string& path,
                                                          Readers readers) {
  const Opening how =
      readers == Readers::Everyone ? Opening::CreateForAll : Opening::CreateForOwner;
  return Opened<OpenOutput, OutputFile>(Open(path, how), path);
}

}  // namespace traskel
