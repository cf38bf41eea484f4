// The call log asked for on the command line: a file made anew for the run,
// taking the host calls one line each.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/value.h"
#include "platform/log_file.h"
#include "platform/user_interface.h"

namespace traskel {

class CallLogFile {
 public:
  // False, and the message for the user, when the file can't be made, or
  // when it is the export to be read: making it anew would empty that.
  bool Create(const std::string& path, const std::optional<std::string>& exportFile,
              std::string& message);

  // `inner`'s objects, each operation on them written to the file. After a
  // write fails the user is told, once, and the run goes on without the log.
  std::unique_ptr<host::Automation> Logging(host::Automation& inner, UserInterface& ui);

 private:
  void Write(const std::string& line, UserInterface& ui);

  std::string path_;
  LogFile file_;
  std::string buffer_;
};

}  // namespace traskel
