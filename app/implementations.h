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
  std::unique_ptr<host::Automation> automation;
  NumberFormat numbers;
};

// The platform's own user interface and settings store, and its host: the
// host's automation server on Windows, the embedded simulated host elsewhere.
Implementations ChooseImplementations();

}  // namespace traskel
