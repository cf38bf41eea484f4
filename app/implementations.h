// What the program runs against: the one place that chooses between the
// real host and the simulated one, dialogs and the console.
#pragma once

#include <memory>

#include "host/value.h"
#include "platform/locale.h"
#include "platform/settings.h"
#include "platform/user_interface.h"

namespace traskel {

struct Implementations {
  std::unique_ptr<UserInterface> ui;
  std::unique_ptr<SettingsStore> settings;
  NumberFormat numbers;
};

// The platform's own user interface and settings store; making them touches
// no file.
Implementations ChooseImplementations();

// The host: its automation server on Windows, the embedded simulated host
// elsewhere, which opens its trace file when made.
std::unique_ptr<host::Automation> MakeHost();

}  // namespace traskel
