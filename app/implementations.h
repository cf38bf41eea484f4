// What the program runs against: the one place that chooses between the
// real host and the simulated one, dialogs and the console.
#pragma once

#include <chrono>
#include <memory>

#include "app/call_log_file.h"
#include "host/busy.h"
#include "host/value.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/settings.h"
#include "platform/user_interface.h"

namespace traskel {

struct Implementations {
  std::unique_ptr<FileSystem> files;  // the settings store keeps its file through it
  std::unique_ptr<UserInterface> ui;
  std::unique_ptr<SettingsStore> settings;
  NumberFormat numbers;
};

// The platform's own file system, user interface and settings store; making
// them touches no file. The user interface's stop button asks `stop`.
Implementations ChooseImplementations(StopSource& stop);

// The user interface's own words.
extern const UserInterfaceWords kUserInterfaceWords;

// How long a host call may go unanswered before the user is told:
// QUORVEX_TIMEOUT_S seconds when set to a number from 1, else 15.
std::chrono::seconds SilenceBeforeTelling();

// The platform's own user interface, its main window titled kMainCaption.
std::unique_ptr<UserInterface> MakeUserInterface(StopSource& stop);

// The host: its automation server on Windows, the embedded simulated host
// elsewhere, which opens its trace file when made.
std::unique_ptr<host::Automation> MakeHost();

// What stands between the run and the host, outermost first: the wait for a
// busy host, which asks the user once a budget is spent, and the call log
// when one is kept. A refusal the wait repeats thus reaches the log only
// once the host carries it out.
struct HostWrappers {
  std::unique_ptr<host::Automation> log;   // none without a call log
  std::unique_ptr<host::Automation> wait;  // what the run talks to
};
HostWrappers WrapHost(host::Automation& own, CallLogFile* log, UserInterface& ui,
                      host::BusyWait wait = {});

}  // namespace traskel
