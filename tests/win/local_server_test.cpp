// quorvex_sim_host.exe, registered in place of the DLL: the host in a
// process of its own, as the host application is, reached through COM.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/call_log_file.h"
#include "app/form1.h"
#include "app/implementations.h"
#include "host/com_automation.h"
#include "platform/file_system.h"
#include "sim_session.h"
#include "support/expected_trace.h"
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
  DWORD ExitCodeWithin(DWORD milliseconds) const {
    DWORD code = STILL_ACTIVE;
    if (EndsWithin(milliseconds)) GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  std::string firstLine;

 private:
  PROCESS_INFORMATION process_{};
  HANDLE output_ = nullptr;
};

// Wine 8's RPCSS service keeps the classes of a program that ended without
// revoking them and hands them out first, so every later client is told
// "Class not registered", even while a new program serves. Ended, the
// service forgets them; the next client has it started anew.
void ForgetClassesOfEndedPrograms() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"rpcss.exe") != 0) continue;
    const HANDLE service = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (service == nullptr) continue;
    TerminateProcess(service, 1);
    WaitForSingleObject(service, 10'000);
    CloseHandle(service);
  }
  CloseHandle(snapshot);
}

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

// The host program ending at once, as a crash ends it: while connecting, at
// the first record and in the middle of the file. The run ends with the
// system's error, which it does not wait out as a busy host's refusal; the
// call log ends with the failed call, and the copy stays.
TEST_F(LocalServer, HostThatEndsMidRunEndsItWithTheSystemsErrorForAVanishedServer) {
  using namespace testing;
  Lines lines = Header();
  std::vector<Lines> records;
  for (const std::string label : {"P1", "P2", "P3"}) {
    lines.push_back("PT," + label + ",1,2,3,0,0,1,,,,,,,,,,5");
    records.push_back(Head(603, label) + kDefaults + Pos("R8:1 R8:2 R8:3", 0) +
                      Vec("R8:0 R8:0 R8:1", 1) + Size("R8:5"));
  }
  const Lines operations = Expected(lines, records);
  const struct {
    int exitAt;  // the operation the host ends at, as numbered in `operations`
    ExitStatus status;
    int line;  // the line named; 0: the connection's step instead
  } rows[] = {
      {3, kNotConnected, 0},  // Application get 2
      {69, kRunFailed, 11},   // the first record's command added
      {110, kRunFailed, 12},  // the second record's position handed over
  };
  const std::string input = sim.folder.Write("teil.csv", Join(lines, "\n"));
  const std::string logPath = sim.folder.File("protokoll.txt");
  for (const auto& row : rows) {
    SCOPED_TRACE("host ending at operation " + std::to_string(row.exitAt));
    std::filesystem::remove(sim.trace);
    std::filesystem::remove(input + "conf");
    SimSession::Set("QUORVEX_SIM_EXIT_AT", std::to_string(row.exitAt));
    HostProgram program;
    FakeUi ui;
    ui.answers.push_back(input);
    MemorySettings settings;
    SystemFileSystem files;
    CallLogFile log(files);
    ASSERT_TRUE(log.Open(logPath, std::nullopt, {}));
    ASSERT_TRUE(log.Start(input, {}));
    ExitStatus status;
    {
      // The host as the program talks to it: behind the busy wait and the log.
      HostWrappers wrapped = WrapHost(*automation, &log, ui);
      Platform platform{ui, *wrapped.wait, NumberFormat{}, files, ui.stop};
      traskel::Run run(platform);
      status = Form1Load(run, settings);
    }
    EXPECT_EQ(program.ExitCodeWithin(10'000), 3u);  // as a crash ends it
    ForgetClassesOfEndedPrograms();

    EXPECT_EQ(status, row.status);
    EXPECT_THAT(ui.questions, ::testing::IsEmpty());
    const Lines done(operations.begin(), operations.begin() + (row.exitAt - 1));
    EXPECT_EQ(WithoutResults(sim.Trace()), done);
    // The log ends with "<operation> -> error 0x<code> <the system's text>".
    Lines logged = LinesOf(ReadAll(logPath));
    ASSERT_FALSE(logged.empty());
    const std::string failed = logged.back();
    logged.pop_back();
    EXPECT_EQ(WithoutResults(logged), done);
    const std::string head = operations[row.exitAt - 1] + " -> error 0x";
    ASSERT_EQ(failed.substr(0, head.size()), head);
    const std::string code = failed.substr(head.size(), 8);
    const std::string text = failed.substr(head.size() + 9);
    // RPC_E_DISCONNECTED, RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED
    EXPECT_THAT(code, ::testing::AnyOf("80010108", "800706BA", "800706BE"));

    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& shown = ui.messages[0].text;
    EXPECT_THAT(shown, ::testing::HasSubstr(text));
    if (row.line == 0) {
      EXPECT_EQ(ui.messages[0].title, "ERROR in fktStartQuorvex()");
      EXPECT_THAT(shown, ::testing::StartsWith("Das aktive Messprogramm kann nicht abgefragt"));
      EXPECT_THAT(shown, ::testing::HasSubstr(text + " (0x" + code + ")"));
    } else {
      // It says Quorvex ended, and promises nothing of what it may have lost.
      const std::string line = std::to_string(row.line);
      EXPECT_THAT(shown, ::testing::StartsWith(
                             "Quorvex wurde in Zeile " + line +
                             " beendet oder ist nicht mehr erreichbar.\r\nBitte Quorvex neu "
                             "starten, das Messprogramm öffnen und prüfen, ob die Befehle bis "
                             "Zeile " +
                             std::to_string(row.line - 1) + " darin sind.\r\n\r\n" + text + " (0x" +
                             code + ")"));
      EXPECT_THAT(shown,
                  ::testing::HasSubstr("Die Kopie " + CopyPathFor(input) + " bleibt erhalten."));
      EXPECT_THAT(shown, ::testing::HasSubstr("Fortsetzen: "));
      EXPECT_THAT(shown, ::testing::Not(::testing::HasSubstr("bleiben im Messprogramm")));
    }
    EXPECT_TRUE(std::filesystem::exists(input + "conf"));
  }
}

}  // namespace
}  // namespace traskel
