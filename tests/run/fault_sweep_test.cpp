// Every file operation of a whole run fails in turn, with the errors of a
// full disk, a broken disk and a refused access; no run may lose or damage a
// file, claim a success it did not have, or fail without saying why.
#include <cerrno>
#include <iostream>

#include <gtest/gtest.h>

#include "platform/settings_file.h"
#include "support/fault_sweep.h"

namespace traskel {
namespace {

using namespace testing;

TEST(FaultSweep, EveryFailingFileOperationIsSurvived) {
  // In memory where there is such a folder: every run syncs the settings
  // file, and on a busy disk each sync waits its turn.
  TempFolder folder(std::filesystem::is_directory("/dev/shm")
                        ? "/dev/shm"
                        : std::filesystem::temp_directory_path());
  const std::string settingsFolder = folder / "einstellungen";
  SystemFileSystem system;
  SweepPlatform platform;
  platform.errors = {EIO, ENOSPC, EACCES};
  // The store keeps its file through the failing file system.
  platform.settings = [&](FileSystem& failing, FaultPlan&) {
    return MakeFileSettingsStore(failing, settingsFolder);
  };
  platform.remember = [&](const std::string& path) {
    std::filesystem::remove_all(settingsFolder);
    if (!path.empty()) {
      ASSERT_TRUE(
          MakeFileSettingsStore(system, settingsFolder)->Write(kLastImportFileSetting, path));
    }
  };
  platform.remembered = [&] {
    Result<std::string> value =
        MakeFileSettingsStore(system, settingsFolder)->Read(kLastImportFileSetting);
    return value ? *value : "unreadable: " + value.failure().reason;
  };
  FaultSweep sweep(folder, platform, ReadAll(TRASKEL_SOURCE_DIR "/examples/bauteil.csv"));
  for (const SweepCase& c : kSweepCases) {
    std::cout << c.name << ": " << sweep.Sweep(c) << " operations\n";
  }
  std::cout << sweep.Figure() << "\n";
  EXPECT_GT(sweep.injected, 0);
  EXPECT_EQ(sweep.survived, sweep.injected) << sweep.broken;
}

}  // namespace
}  // namespace traskel
