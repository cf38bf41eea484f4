// A platform that fails on purpose: it stands around the file system, every
// file it gives and a settings store, counts each operation that can fail,
// and fails the chosen one with a system error, as a full disk, a pulled
// cable or a virus scanner would.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_system.h"
#include "platform/settings.h"

namespace traskel::testing {

// Which operation fails and with what; what the run asked for until then.
class FaultPlan {
 public:
  FaultPlan() = default;  // counts, fails nothing
  FaultPlan(std::int64_t failAt, long code) : failAt_(failAt), code_(code) {}

  struct Fault {
    std::string operation;
    std::string what;  // the file, or the settings value, it was asked of
    Failure failure;
  };

  // The failure for the operation now asked for, when it is the chosen one.
  std::optional<Failure> Take(const char* operation, const std::string& what) {
    if (++count_ != failAt_) return std::nullopt;
    fault_ = Fault{operation, what, SystemFailure(code_)};
    return fault_->failure;
  }

  std::int64_t failAt() const { return failAt_; }
  std::int64_t count() const { return count_; }
  const std::optional<Fault>& fault() const { return fault_; }

 private:
  std::int64_t failAt_ = 0;
  long code_ = 0;
  std::int64_t count_ = 0;
  std::optional<Fault> fault_;
};

// `call`'s result, unless this is the operation that fails.
template <typename Call>
auto Fallible(FaultPlan& plan, const char* operation, const std::string& what, Call call)
    -> decltype(call()) {
  if (std::optional<Failure> failure = plan.Take(operation, what)) return *failure;
  return call();
}

// A write that fails has taken part of its bytes, as a full disk does.
template <typename Write>
Result<void> FallibleWrite(FaultPlan& plan, const char* operation, const std::string& what,
                           std::string_view bytes, Write write) {
  if (std::optional<Failure> failure = plan.Take(operation, what)) {
    static_cast<void>(write(bytes.substr(0, bytes.size() / 2)));
    return *failure;
  }
  return write(bytes);
}

// A close that fails has let go of the file all the same.
template <typename Close>
Result<void> FallibleClose(FaultPlan& plan, const char* operation, const std::string& what,
                           Close close) {
  std::optional<Failure> failure = plan.Take(operation, what);
  Result<void> closed = close();
  if (failure) return *failure;
  return closed;
}

class FailingInputFile final : public InputFile {
 public:
  FailingInputFile(std::unique_ptr<InputFile> inner, std::string path, FaultPlan& plan)
      : inner_(std::move(inner)), path_(std::move(path)), plan_(plan) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return Fallible(plan_, "read", path_, [&] { return inner_->Read(buffer, size); });
  }
  Result<void> Rewind() override {
    return Fallible(plan_, "rewind", path_, [&] { return inner_->Rewind(); });
  }

 private:
  std::unique_ptr<InputFile> inner_;
  std::string path_;
  FaultPlan& plan_;
};

class FailingHeldFile final : public HeldFile {
 public:
  FailingHeldFile(std::unique_ptr<HeldFile> inner, std::string path, FaultPlan& plan)
      : inner_(std::move(inner)), path_(std::move(path)), plan_(plan) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return Fallible(plan_, "read", path_, [&] { return inner_->Read(buffer, size); });
  }
  Result<void> Clear() override {
    return Fallible(plan_, "truncate", path_, [&] { return inner_->Clear(); });
  }
  Result<void> Write(std::string_view bytes) override {
    return FallibleWrite(plan_, "write", path_, bytes,
                         [&](std::string_view b) { return inner_->Write(b); });
  }
  Result<void> Rewind() override {
    return Fallible(plan_, "rewind", path_, [&] { return inner_->Rewind(); });
  }
  Result<void> Remove() override {
    return Fallible(plan_, "remove", path_, [&] { return inner_->Remove(); });
  }

 private:
  std::unique_ptr<HeldFile> inner_;
  std::string path_;
  FaultPlan& plan_;
};

class FailingLogFile final : public LogFile {
 public:
  FailingLogFile(std::unique_ptr<LogFile> inner, std::string path, FaultPlan& plan)
      : inner_(std::move(inner)), path_(std::move(path)), plan_(plan) {}
  Result<void> Append(std::string_view text) override {
    return FallibleWrite(plan_, "write", path_, text,
                         [&](std::string_view t) { return inner_->Append(t); });
  }
  Result<void> Close() override {
    return FallibleClose(plan_, "close", path_, [&] { return inner_->Close(); });
  }
  Result<std::string> ReadStart(std::size_t size) override {
    return Fallible(plan_, "read", path_, [&] { return inner_->ReadStart(size); });
  }
  bool IsReachedBy(const std::string& path) const override { return inner_->IsReachedBy(path); }
  Result<void> Resize(std::uint64_t length) override {
    return Fallible(plan_, "truncate", path_, [&] { return inner_->Resize(length); });
  }
  // Failing, it closes the file but deletes nothing.
  Result<void> Discard() override {
    if (std::optional<Failure> failure = plan_.Take("remove", path_)) {
      static_cast<void>(inner_->Close());
      return *failure;
    }
    return inner_->Discard();
  }

 private:
  std::unique_ptr<LogFile> inner_;
  std::string path_;
  FaultPlan& plan_;
};

class FailingOutputFile final : public OutputFile {
 public:
  // `what`: the file it is made for.
  FailingOutputFile(std::unique_ptr<OutputFile> inner, std::string what, FaultPlan& plan)
      : inner_(std::move(inner)), what_(std::move(what)), plan_(plan) {}
  const std::string& path() const override { return inner_->path(); }
  Result<void> Write(std::string_view bytes) override {
    return FallibleWrite(plan_, "write", what_, bytes,
                         [&](std::string_view b) { return inner_->Write(b); });
  }
  Result<void> Sync() override {
    return Fallible(plan_, "sync", what_, [&] { return inner_->Sync(); });
  }
  Result<void> Close() override {
    return FallibleClose(plan_, "close", what_, [&] { return inner_->Close(); });
  }

 private:
  std::unique_ptr<OutputFile> inner_;
  std::string what_;
  FaultPlan& plan_;
};

// Whatever it wraps: the file objects too. The yes/no questions (Exists,
// SameFile, IsReachedBy) pass: they have no failure to give.
class FailingFileSystem final : public FileSystem {
 public:
  FailingFileSystem(FileSystem& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}

  bool Exists(const std::string& path) override { return inner_.Exists(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return inner_.SameFile(a, b);
  }
  Result<std::unique_ptr<InputFile>> OpenForReading(const std::string& path) override {
    return Wrapped<FailingInputFile, InputFile>("open", path,
                                                [&] { return inner_.OpenForReading(path); });
  }
  Result<std::unique_ptr<HeldFile>> TakeFile(const std::string& path) override {
    return Wrapped<FailingHeldFile, HeldFile>("open and lock", path,
                                              [&] { return inner_.TakeFile(path); });
  }
  Result<std::unique_ptr<LogFile>> OpenLogFile(const std::string& path,
                                               LogFile::Mode mode) override {
    return Wrapped<FailingLogFile, LogFile>("open", path,
                                            [&] { return inner_.OpenLogFile(path, mode); });
  }
  Result<std::unique_ptr<OutputFile>> CreateBeside(const std::string& path) override {
    return Wrapped<FailingOutputFile, OutputFile>("create", path,
                                                  [&] { return inner_.CreateBeside(path); });
  }
  Result<void> Rename(const std::string& from, const std::string& to) override {
    return Fallible(plan_, "rename", to, [&] { return inner_.Rename(from, to); });
  }
  Result<void> Remove(const std::string& path) override {
    return Fallible(plan_, "remove", path, [&] { return inner_.Remove(path); });
  }
  Result<void> MakeFolders(const std::string& folder) override {
    return Fallible(plan_, "make folders", folder, [&] { return inner_.MakeFolders(folder); });
  }
  Result<void> SyncFolder(const std::string& folder) override {
    return Fallible(plan_, "sync", folder, [&] { return inner_.SyncFolder(folder); });
  }

 private:
  template <typename Failing, typename File, typename Open>
  Result<std::unique_ptr<File>> Wrapped(const char* operation, const std::string& path, Open open) {
    if (std::optional<Failure> failure = plan_.Take(operation, path)) return *failure;
    Result<std::unique_ptr<File>> opened = open();
    if (!opened) return opened;
    return std::unique_ptr<File>(std::make_unique<Failing>(std::move(*opened), path, plan_));
  }

  FileSystem& inner_;
  FaultPlan& plan_;
};

// A settings store whose reads and writes fail as the plan says; for one
// that keeps no file of its own, as the registry's.
class FailingSettingsStore final : public SettingsStore {
 public:
  FailingSettingsStore(std::unique_ptr<SettingsStore> inner, FaultPlan& plan)
      : inner_(std::move(inner)), plan_(plan) {}
  Result<std::string> Read(const std::string& path) override {
    return Fallible(plan_, "read", path, [&] { return inner_->Read(path); });
  }
  Result<void> Write(const std::string& path, const std::string& value) override {
    return Fallible(plan_, "write", path, [&] { return inner_->Write(path, value); });
  }
  std::string ValuesFile() const override { return inner_->ValuesFile(); }

 private:
  std::unique_ptr<SettingsStore> inner_;
  FaultPlan& plan_;
};

}  // namespace traskel::testing
