// The call log asked for on the command line: taking the host calls one line
// each, in a file that held nothing or an earlier call log.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/call_log.h"
#include "host/value.h"
#include "platform/file_system.h"
#include "platform/user_interface.h"

namespace traskel {

class CallLogFile {
 public:
  // The log's file is opened and made through `files`.
  explicit CallLogFile(FileSystem& files) : files_(files) {}

  // Opens the file named for the log, or makes it, without changing a byte
  // of what is there. Fails, its reason the message for the user, when it
  // can't be opened, or when the log must not replace it: a file that is the
  // export named (or its copy, or a settings file), or that holds anything
  // but an earlier call log.
  Result<void> Open(const std::string& path, const std::optional<std::string>& exportFile,
                    const std::vector<std::string>& settingsFiles);

  // Once the export is known, before anything is written for it: fails, as
  // Open does, when the log is the export, its copy or a settings file (a
  // log made by Open is then deleted again). Otherwise the log is emptied
  // and takes this run's calls.
  Result<void> Start(const std::string& exportFile, const std::vector<std::string>& settingsFiles);

  // The run is over, and the log is closed. A run that ended before its
  // export was known made no calls: an earlier log is emptied all the same,
  // so that the file tells of this run. A close that fails may have cost
  // lines, and the user is told.
  void End(UserInterface& ui);

  // `inner`'s objects, each operation on them written to the file once the
  // log has started. After a write fails the user is told, once, and the run
  // goes on without the log.
  std::unique_ptr<host::Automation> Logging(host::Automation& inner, UserInterface& ui);

  // The run gave up on the call under way, which never returned: the log
  // ends with it, marked as unanswered after `silence`. Only while the
  // calling thread is held.
  void EndUnanswered(std::chrono::steady_clock::duration silence, UserInterface& ui);

 private:
  // What the log may not be, in the words of the message; empty when none.
  std::string RunFileReason(const std::optional<std::string>& exportFile,
                            const std::vector<std::string>& settingsFiles) const;
  // The failure, dropping the file, its reason put in the words of the message.
  Failure Refused(Failure failure);
  void Write(const std::string& line, UserInterface& ui);
  // Lets go of the file; one that Open made goes again.
  void Drop();

  FileSystem& files_;
  std::string path_;
  std::unique_ptr<LogFile> file_;  // none before Open, and once let go of
  bool started_ = false;
  std::uint64_t length_ = 0;  // what the log holds of this run: whole lines
  std::string buffer_;
  host::PendingOperation pending_;
};

}  // namespace traskel
