// A platform that fails on purpose: it stands around the file system, every
// file it gives and a settings store, counts each operation that can fail,
// and fails the chosen one with a system error, as a full disk, a pulled
// cable or a virus scanner would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    if (meanwhile) meanwhile(operation, what);
    if (++count_ != failAt_) return std::nullopt;
    fault_ = Fault{operation, what, SystemFailure(code_)};
    return fault_->failure;
  }

  std::int64_t failAt() const { return failAt_; }
  std::int64_t count() const { return count_; }
  const std::optional<Fault>& fault() const { return fault_; }

  // Told of every operation before it is carried out, for what should
  // happen just then.
  std::function<void(const char* operation, const std::string& what)> meanwhile;

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

// What a failing file keeps: the file it stands for, the name its faults
// are told by, and the plan.
template <typename File>
struct Around {
  std::unique_ptr<File> file;
  std::string name;
  FaultPlan& plan;

  template <typename Call>
  auto operator()(const char* operation, Call call) {
    return Fallible(plan, operation, name, call);
  }
  // A write that fails has taken part of its bytes, as a full disk does.
  template <typename Put>
  Result<void> Write(std::string_view bytes, Put write) {
    if (std::optional<Failure> failure = plan.Take("write", name)) {
      static_cast<void>(write(bytes.substr(0, bytes.size() / 2)));
      return *failure;
    }
    return write(bytes);
  }
  // A close that fails has let go of the file all the same.
  Result<void> Close() {
    std::optional<Failure> failure = plan.Take("close", name);
    Result<void> closed = file->Close();
    if (failure) return *failure;
    return closed;
  }
};

class FailingInputFile final : public InputFile {
 public:
  explicit FailingInputFile(Around<InputFile> a) : a_(std::move(a)) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return a_("read", [&] { return a_.file->Read(buffer, size); });
  }
  Result<void> Rewind() override {
    return a_("rewind", [&] { return a_.file->Rewind(); });
  }

 private:
  Around<InputFile> a_;
};

class FailingHeldFile final : public HeldFile {
 public:
  explicit FailingHeldFile(Around<HeldFile> a) : a_(std::move(a)) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return a_("read", [&] { return a_.file->Read(buffer, size); });
  }
  Result<void> Clear() override {
    return a_("truncate", [&] { return a_.file->Clear(); });
  }
  Result<void> Write(std::string_view bytes) override {
    return a_.Write(bytes, [&](std::string_view b) { return a_.file->Write(b); });
  }
  Result<void> Rewind() override {
    return a_("rewind", [&] { return a_.file->Rewind(); });
  }
  Result<void> Remove() override {
    return a_("remove", [&] { return a_.file->Remove(); });
  }

 private:
  Around<HeldFile> a_;
};

class FailingLogFile final : public LogFile {
 public:
  explicit FailingLogFile(Around<LogFile> a) : a_(std::move(a)) {}
  Result<void> Append(std::string_view text) override {
    return a_.Write(text, [&](std::string_view t) { return a_.file->Append(t); });
  }
  Result<void> Close() override { return a_.Close(); }
  Result<std::string> ReadStart(std::size_t size) override {
    return a_("read", [&] { return a_.file->ReadStart(size); });
  }
  bool IsReachedBy(const std::string& path) const override { return a_.file->IsReachedBy(path); }
  Result<void> Resize(std::uint64_t length) override {
    return a_("truncate", [&] { return a_.file->Resize(length); });
  }
  // Failing, it closes the file but deletes nothing.
  Result<void> Discard() override {
    if (std::optional<Failure> failure = a_.plan.Take("remove", a_.name)) {
      static_cast<void>(a_.file->Close());
      return *failure;
    }
    return a_.file->Discard();
  }

 private:
  Around<LogFile> a_;
};

// Its faults are told by the file it is made for, not by its own name.
class FailingOutputFile final : public OutputFile {
 public:
  explicit FailingOutputFile(Around<OutputFile> a) : a_(std::move(a)) {}
  const std::string& path() const override { return a_.file->path(); }
  Result<void> Write(std::string_view bytes) override {
    return a_.Write(bytes, [&](std::string_view b) { return a_.file->Write(b); });
  }
  Result<void> Sync() override {
    return a_("sync", [&] { return a_.file->Sync(); });
  }
  Result<void> Close() override { return a_.Close(); }

 private:
  Around<OutputFile> a_;
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
  Result<std::unique_ptr<OutputFile>> CreateNew(const std::string& path, Readers readers) override {
    return Wrapped<FailingOutputFile, OutputFile>("create", path,
                                                  [&] { return inner_.CreateNew(path, readers); });
  }
  Result<void> Rename(const std::string& from, const std::string& to) override {
    return Fallible(plan_, "rename", to, [&] { return inner_.Rename(from, to); });
  }
  Result<void> Remove(const std::string& path) override {
    return Fallible(plan_, "remove", path, [&] { return inner_.Remove(path); });
  }
  Result<void> MakeFolders(const std::string& folder, Readers readers) override {
    return Fallible(plan_, "make folders", folder,
                    [&] { return inner_.MakeFolders(folder, readers); });
  }
  Result<void> SyncFolder(const std::string& folder) override {
    return Fallible(plan_, "sync", folder, [&] { return inner_.SyncFolder(folder); });
  }
  Result<std::unique_ptr<FolderLock>> LockFolder(const std::string& folder) override {
    return Fallible(plan_, "lock", folder, [&] { return inner_.LockFolder(folder); });
  }
  Result<std::string> ResolvedPath(const std::string& path) override {
    return Fallible(plan_, "resolve", path, [&] { return inner_.ResolvedPath(path); });
  }

 private:
  template <typename Failing, typename File, typename Open>
  Result<std::unique_ptr<File>> Wrapped(const char* operation, const std::string& path, Open open) {
    if (std::optional<Failure> failure = plan_.Take(operation, path)) return *failure;
    Result<std::unique_ptr<File>> opened = open();
    if (!opened) return opened;
    return std::unique_ptr<File>(
        std::make_unique<Failing>(Around<File>{std::move(*opened), path, plan_}));
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
  Result<std::vector<std::pair<std::string, std::string>>> List(const std::string& key) override {
    return Fallible(plan_, "list", key, [&] { return inner_->List(key); });
  }
  Result<void> Remove(const std::string& path) override {
    return Fallible(plan_, "remove", path, [&] { return inner_->Remove(path); });
  }
  std::vector<std::string> ValuesFiles() const override { return inner_->ValuesFiles(); }

 private:
  std::unique_ptr<SettingsStore> inner_;
  FaultPlan& plan_;
};

}  // namespace traskel::testing
