// Every file and settings operation of a whole run fails in turn, with the
// errors of a full disk, a refused access and a file another program has
// open; no run may lose or damage a file, claim a success it did not have,
// or fail without saying why.
#include <windows.h>

#include <iostream>

#include <gtest/gtest.h>

#include "support/fault_sweep.h"

namespace traskel {
namespace {

using namespace testing;

// Where the remembered path is kept, and everything of the maker's beside.
void ForgetSettings() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelvar");
}

TEST(FaultSweep, EveryFailingFileOperationIsSurvived) {
  TempFolder folder;
  SystemFileSystem system;
  std::unique_ptr<SettingsStore> registry = MakeSystemSettingsStore(system);
  SweepPlatform platform;
  platform.errors = {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
  platform.settings = [&](FileSystem&, FaultPlan& plan) {
    return std::make_unique<FailingSettingsStore>(MakeSystemSettingsStore(system), plan);
  };
  platform.remember = [&](const std::string& path) {
    ForgetSettings();
    if (!path.empty()) {
      ASSERT_TRUE(registry->Write(kLastImportFileSetting, path));
    }
  };
  platform.remembered = [&] {
    Result<std::string> value = registry->Read(kLastImportFileSetting);
    return value ? *value : "unreadable: " + value.failure().reason;
  };
  FaultSweep sweep(folder, platform, ReadAll(TRASKEL_EXAMPLE));
  for (const SweepCase& c : kSweepCases) {
    std::cout << c.name << ": " << sweep.Sweep(c) << " operations\n";
  }
  ForgetSettings();
  std::cout << sweep.Figure() << "\n";
  EXPECT_GT(sweep.injected, 0);
  EXPECT_EQ(sweep.survived, sweep.injected) << sweep.broken;
}

}  // namespace
}  // namespace traskel
