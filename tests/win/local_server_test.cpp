// quorvex_sim_host.exe, registered in place of the DLL: the host in a
// process of its own, as the host application is, reached through COM.
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/com_automation.h"
#include "sim_session.h"
#include "support/host_errors.h"

namespace traskel {
namespace {

using ::testing::ElementsAre;
using namespace host;

// The program started by hand, as a user opens the host before the
// converter; ready once it says it serves.
class HostProgram {
 public:
  HostProgram() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&output_, &write, &inheritable, 0)) return;
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write;
    start.hStdError = write;
    std::string path = QUORVEX_SIM_HOST_EXE;
    for (char& c : path) c = c == '/' ? '\\' : c;
    std::wstring command = L"\"Z:" + std::wstring(path.begin(), path.end()) + L"\"";
    // Inherits this process's environment, and with it the session's
    // settings of the host.
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &start, &process_);
    CloseHandle(write);
    if (!started) return;
    char c = 0;
    DWORD read = 0;
    // Its C runtime writes line ends as CR LF.
    while (ReadFile(output_, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
      if (c != '\r') firstLine += c;
    }
  }
  ~HostProgram() {
    if (process_.hProcess != nullptr) {
      // Closed as a user closes the host: a program killed while it serves
      // leaves its classes registered with wine's COM, and later clients
      // are told "Class not registered".
      if (!EndsWithin(0)) PostThreadMessageW(process_.dwThreadId, WM_QUIT, 0, 0);
      if (!EndsWithin(5000)) TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    if (output_ != nullptr) CloseHandle(output_);
  }
  HostProgram(const HostProgram&) = delete;
  HostProgram& operator=(const HostProgram&) = delete;

  bool EndsWithin(DWORD milliseconds) const {
    return WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0;
  }

  std::string firstLine;

 private:
  PROCESS_INFORMATION process_{};
  HANDLE output_ = nullptr;
};

bool DllLoaded() {
  return GetModuleHandleW(L"quorvex_sim.dll") != nullptr;
}

class LocalServer : public ::testing::Test {
 protected:
  testing::SimSession sim;
  std::unique_ptr<Automation> automation = MakeComAutomation();
};

TEST_F(LocalServer, BusySpellRefusesCallsUntilItEndsAndEachOperationIsTracedOnce) {
  using namespace std::chrono_literals;
  testing::SimSession::Set("QUORVEX_SIM_BUSY", "3:1000");
  HostProgram program;
  ASSERT_EQ(program.firstLine,
            "quorvex_sim_host: serving Quorvex.Application and Quorvex.PointData");
  {
    Ref app(automation->CreateObject("Quorvex.Application"));
    Ref pointData(automation->CreateObject("Quorvex.PointData"));
    EXPECT_FALSE(DllLoaded());
    const auto start = std::chrono::steady_clock::now();
    const Error refused = testing::ErrorOf([&] { app.Get(2); });
    EXPECT_EQ(refused.number(), kCallRejected) << refused.text();
    EXPECT_EQ(testing::ErrorNumberOf([&] { pointData.CallIgnoringResult(7, R8(1), R8(2), R8(3)); }),
              kCallRejected);
    Ref measurementProgram;
    while (!measurementProgram && std::chrono::steady_clock::now() - start < 10s) {
      try {
        measurementProgram = AsObject(app.Get(2));
      } catch (const Error& e) {
        ASSERT_EQ(e.number(), kCallRejected) << e.text();
        std::this_thread::sleep_for(50ms);
      }
    }
    EXPECT_TRUE(measurementProgram);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
  }
  EXPECT_THAT(sim.Trace(), ElementsAre("create \"Quorvex.Application\" -> Obj:Application",
                                       "create \"Quorvex.PointData\" -> Obj:PointData",
                                       "Application get 2 -> Obj:MeasurementProgram"));
  // Its last object released, the host ends.
  EXPECT_TRUE(program.EndsWithin(10'000));
}

TEST_F(LocalServer, ComStartsTheRegisteredProgramWhenNoneRuns) {
  {
    Ref app(automation->CreateObject("Quorvex.Application"));
    AsObject(app.Get(2));
    EXPECT_FALSE(DllLoaded());
  }
  // Under wine the program COM starts inherits this process's environment,
  // and with it the trace file.
  EXPECT_THAT(sim.Trace(), ElementsAre("create \"Quorvex.Application\" -> Obj:Application",
                                       "Application get 2 -> Obj:MeasurementProgram"));
}

}  // namespace
}  // namespace traskel
