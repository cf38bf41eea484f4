// One run of the program as its command line asks for it, against the
// implementations it is given: main's, or a test's.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "app/command_line.h"
#include "app/form1.h"
#include "host/busy.h"
#include "host/value.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/settings.h"
#include "platform/stop.h"
#include "platform/user_interface.h"

namespace traskel {

struct ProgramParts {
  UserInterface& ui;
  const StopSource& stop;  // a stop the user asks for, however they ask
  SettingsStore& settings;
  FileSystem& files;
  NumberFormat numbers;
  // Makes the host once a call log, if any, has been opened: a host may
  // write a trace of its own from the start.
  std::function<std::unique_ptr<host::Automation>()> makeHost;
  host::BusyWait busyWait{};
  // A host call that has not returned this long is told of, in the
  // progress window.
  std::chrono::seconds silence{15};
  // Set when the run gave up on a host call that never returned: the
  // host's thread is held in it for good, and the program must end without
  // waiting for it or ending what it holds.
  bool hostLost = false;
};

// A conversion or a check, with the call log the command line names; the
// version and the usage are answered before, by AnswerCommandLine.
ExitStatus RunProgram(const CommandLine& command, ProgramParts& parts);

}  // namespace traskel
