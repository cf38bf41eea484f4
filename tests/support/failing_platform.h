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

// The system's file object, every operation of it fallible: faults are
// told by the name it was opened by.
class FailingFile final : public File {
 public:
  FailingFile(std::unique_ptr<File> file, std::string name, FaultPlan& plan)
      : file_(std::move(file)), name_(std::move(name)), plan_(plan) {}
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    return Fallible(plan_, "read", name_, [&] { return file_->Read(buffer, size); });
  }
  Result<std::size_t> ReadAt(char* buffer, std::size_t size, std::uint64_t offset) override {
    return Fallible(plan_, "read", name_, [&] { return file_->ReadAt(buffer, size, offset); });
  }
  // A write that fails has taken part of its bytes, as a full disk does.
  Result<void> Write(std::string_view bytes) override {
    if (std::optional<Failure> failure = plan_.Take("write", name_)) {
      // Whatever the half gives, the write fails with the plan's failure.
      static_cast<void>(file_->Write(bytes.substr(0, bytes.size() / 2)));
      return *failure;
    }
    return file_->Write(bytes);
  }
  Result<void> Rewind() override {
    return Fallible(plan_, "rewind", name_, [&] { return file_->Rewind(); });
  }
  Result<void> Truncate(std::uint64_t length) override {
    return Fallible(plan_, "truncate", name_, [&] { return file_->Truncate(length); });
  }
  Result<void> Sync() override {
    return Fallible(plan_, "sync", name_, [&] { return file_->Sync(); });
  }
  // A close that fails has let go of the file all the same.
  Result<void> Close() override {
    std::optional<Failure> failure = plan_.Take("close", name_);
    Result<void> closed = file_->Close();
    if (failure) return *failure;
    return closed;
  }
  // Failing, it closes the file but deletes nothing.
  Result<void> Remove() override {
    if (std::optional<Failure> failure = plan_.Take("remove", name_)) {
      static_cast<void>(file_->Close());  // the remove's failure is the one told
      return *failure;
    }
    return file_->Remove();
  }
  bool IsReachedBy(const std::string& path) const override { return file_->IsReachedBy(path); }
  bool Made() const override { return file_->Made(); }

 private:
  std::unique_ptr<File> file_;
  std::string name_;
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
  Result<std::unique_ptr<File>> Open(const std::string& path, Opening how) override {
    const char* operation = how == Opening::Take ? "open and lock"
                            : how == Opening::CreateForAll || how == Opening::CreateForOwner
                                ? "create"
                                : "open";
    if (std::optional<Failure> failure = plan_.Take(operation, path)) return *failure;
    Result<std::unique_ptr<File>> opened = inner_.Open(path, how);
    if (!opened) return opened;
    return std::unique_ptr<File>(std::make_unique<FailingFile>(std::move(*opened), path, plan_));
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
