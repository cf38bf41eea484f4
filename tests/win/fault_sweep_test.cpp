// Every file and settings operation of a whole run fails in turn, with the
// errors of a full disk, a refused access and a file another program has
// open; no run may lose or damage a file, claim a success it did not have,
// or fail without saying why.
#include <windows.h>

#include <iostream>

#include <gtest/gtest.h>

#include "platform/wide_text_win32.h"
#include "support/fault_sweep.h"

namespace traskel {
namespace {

using namespace testing;

// The remembered path in the registry itself, past the shell object the
// program goes through: its key below HKLM, and its value's name.
struct RememberedValue {
  std::string full = kLastImportFileSetting;  // HKLM\<key>\<name>
  std::size_t root = full.find('\\'), cut = full.rfind('\\');
  std::wstring key = Utf16(full.substr(root + 1, cut - root - 1));
  std::wstring name = Utf16(full.substr(cut + 1));

  void Forget() const { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str()); }
  bool Store(const std::string& path) const {
    const std::wstring value = Utf16(path);
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  }
  std::string Stored() const {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    const LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(),
                                        RRF_RT_REG_SZ, nullptr, buffer, &size);
    if (status == ERROR_FILE_NOT_FOUND) return "";
    return status == ERROR_SUCCESS ? Utf8(buffer) : "unreadable: " + SystemFailure(status).reason;
  }
};

TEST(FaultSweep, EveryFailingFileOperationIsSurvived) {
  TempFolder folder;
  SystemFileSystem system;
  const RememberedValue remembered;
  SweepPlatform platform;
  platform.errors = {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
  // The registry keeps no file of the program's: the store itself fails.
  platform.settings = [&](FileSystem&, FaultPlan& plan) {
    return std::make_unique<FailingSettingsStore>(MakeSystemSettingsStore(system), plan);
  };
  platform.remember = [&](const std::string& path) {
    remembered.Forget();
    if (!path.empty()) {
      ASSERT_TRUE(remembered.Store(path));
    }
  };
  platform.remembered = [&] { return remembered.Stored(); };
  FaultSweep sweep(folder, platform, ReadAll(TRASKEL_EXAMPLE));
  for (const SweepCase& c : kSweepCases) {
    std::cout << c.name << ": " << sweep.Sweep(c) << " operations\n";
  }
  remembered.Forget();
  std::cout << sweep.Figure() << "\n";
  EXPECT_GT(sweep.injected, 0);
  EXPECT_EQ(sweep.survived, sweep.injected) << sweep.broken;
}

}  // namespace
}  // namespace traskel
