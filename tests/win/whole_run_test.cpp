// Whole runs through the COM client into the registered simulated host, held
// to the same expected traces as the runs against the embedded host.
#include <windows.h>

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "conversion/numbers.h"
#include "host/com_automation.h"
#include "platform/file_system.h"
#include "platform/settings.h"
#include "platform/wide_text_win32.h"
#include "sim_session.h"
#include "support/encodings.h"
#include "support/expected_trace.h"

namespace traskel {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using namespace testing;

const std::string kAskIfRunning = "\r\n\r\nIst Quorvex gestartet und ein Messprogramm geöffnet?";

class WholeRun : public ::testing::Test {
 protected:
  // Runs the converter on `content` with the dialog answering its file.
  ExitStatus RunOn(const std::string& content) {
    input = sim.folder.Write("teil.csv", content);
    ui.answers.push_back(input);
    auto automation = host::MakeComAutomation();
    Platform platform{ui, *automation, NumberFormat{}, files, ui.stop};
    traskel::Run run(platform);
    return Form1Load(run, settings);
  }
  bool CopyExists() { return std::filesystem::exists(input + "conf"); }

  SimSession sim;
  SystemFileSystem files;
  FakeUi ui;
  MemorySettings settings;
  std::string input;
};

TEST_F(WholeRun, HeaderCommentsFeaturesAndSkippedKeysTraceAsOnTheEmbeddedHost) {
  Lines lines = Header();
  lines.insert(lines.end(), {"HEX,H1,1,2,3", "PT,P1,1,2,3,0,0,1,,,,,,,,,,5", "pt,P2,1,2,3",
                             "  UDF,U1, \"x\" ,$$  ", "XYZ,1"});
  std::vector<Lines> records = {Comment("$$ HEX $$ - HEX,H1,1,2,3"),
                                Head(603, "P1") + kDefaults + Pos("R8:1 R8:2 R8:3", 0) +
                                    Vec("R8:0 R8:0 R8:1", 1) + Size("R8:5"),
                                {},
                                Comment("$$ UDF $$ - UDF,U1, \"x\" ,$$"),
                                {}};
  EXPECT_EQ(RunOn(Join(lines, "\n")), kLinesNotTaken);
  EXPECT_THAT(WithoutResults(sim.Trace()), ElementsAreArray(Expected(lines, records)));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "2 von 5 Datenzeilen wurden nicht übernommen (unbekannter Typ):\r\n\r\n"
            "Zeile 13: pt,P2,1,2,3 (gemeint: PT?)\r\nZeile 15: XYZ,1\r\n\r\n"
            "Wer die Datei korrigiert und erneut konvertiert, erhält alle übrigen Befehle ein "
            "zweites Mal.");
  EXPECT_FALSE(CopyExists());
  EXPECT_EQ(settings.values[kLastImportFileSetting], input);
  EXPECT_EQ(ui.pumps, static_cast<int>(lines.size()));
}

TEST_F(WholeRun, UtfAndCodePageExportsGiveTheSameHostTexts) {
  // Whatever the export's encoding, the host gets the same text; the code
  // page here is Windows-1252, and UTF-16 may come without its mark.
  Lines lines = Header();
  lines[0] = "CAD-Export Geh\xC3\xA4usedeckel Ma\xC3\x9F";
  lines.push_back(
      "PT,Pr\xC3\xBC"
      "fpunkt,1,2,3,0,0,1,,,,,,,,,,5");
  const std::string utf8 = Join(lines, "\n");
  const std::u32string text = CodePoints(utf8);
  for (const std::string& content :
       {utf8, AsLatin1(text), AsUtf16(text, false), AsUtf16(text, false).substr(2)}) {
    SimSession::Set("QUORVEX_SIM_TRACE", sim.trace);
    std::filesystem::remove(sim.trace);
    EXPECT_EQ(RunOn(content), kConverted);
    const std::vector<std::string> trace = WithoutResults(sim.Trace());
    EXPECT_THAT(trace, ::testing::Contains("CommentData call 6 I4:1 Str&:\"CAD-Export "
                                           "Geh\xC3\xA4usedeckel Ma\xC3\x9F\""));
    EXPECT_THAT(trace, ::testing::Contains("Cmd put 3 Str:\"Pr\xC3\xBC"
                                           "fpunkt\""));
  }
}

TEST_F(WholeRun, HostFailureHalfWayIsReportedWithItsNumberAndLine) {
  // As on the embedded host: the 15th call is the first of the second comment.
  SimSession::Set("QUORVEX_SIM_FAIL_AT", "15");
  EXPECT_EQ(RunOn(Join(Header(), "\n")), kRunFailed);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_THAT(ui.messages[0].text, HasSubstr("'440'"));
  EXPECT_THAT(ui.messages[0].text, HasSubstr("Zeile 2: Datum,2026-12-01"));
  EXPECT_TRUE(CopyExists());
}

TEST_F(WholeRun, HostStatesEachGiveTheirMessagesAndKeepTheCopy) {
  const std::string notSet = ": Objektvariable nicht festgelegt (Fehler 91)";
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      // The DLL refuses with the bare HRESULT of error 429, which has no system text.
      {"absent",
       {"Quorvex.Application kann nicht erstellt werden: Automation error 0x800A01AD (Fehler "
        "429)"}},
      {"no-program",
       {"Kein aktives Messprogramm geöffnet",
        "Die Befehlsliste kann nicht abgefragt werden" + notSet}},
      {"no-commands", {"CMDS ist leer", "Der erste Befehl kann nicht ausgewählt werden" + notSet}},
  };
  for (const auto& [state, texts] : cases) {
    SimSession::Set("QUORVEX_SIM_STATE", state);
    ui.messages.clear();
    EXPECT_EQ(RunOn("Kopf\n"), kNotConnected) << state;
    ASSERT_EQ(ui.messages.size(), texts.size()) << state;
    for (std::size_t i = 0; i + 1 < texts.size(); ++i)
      EXPECT_EQ(ui.messages[i].text, texts[i]) << state;
    EXPECT_EQ(ui.messages.back().text, texts.back() + kAskIfRunning) << state;
    EXPECT_EQ(ui.messages.back().title, "ERROR in fktStartQuorvex()");
    EXPECT_TRUE(CopyExists());
  }
}

// The host's classes unregistered for one run, as on a machine without the
// host: the message gives the system's own text and code.
TEST_F(WholeRun, UnregisteredHostIsNamedWithTheSystemsTextAndCode) {
  std::string path = "Z:" QUORVEX_SIM_DLL;
  for (char& c : path) c = c == '/' ? '\\' : c;
  const HMODULE server = LoadLibraryW(Utf16(path).c_str());
  ASSERT_NE(server, nullptr);
  const auto entry = [server](const char* name) {
    // Through the generic function type, as the two types differ.
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(server, name)));
  };
  const auto unregister = entry("DllUnregisterServer"), reregister = entry("DllRegisterServer");
  ASSERT_TRUE(unregister != nullptr && reregister != nullptr);
  ASSERT_EQ(unregister(), S_OK);
  const ExitStatus status = RunOn("Kopf\n");
  EXPECT_EQ(reregister(), S_OK);
  EXPECT_EQ(status, kNotConnected);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "Quorvex.Application kann nicht erstellt werden: Invalid class string (0x800401F3)" +
                kAskIfRunning);
  EXPECT_EQ(ui.messages[0].title, "ERROR in fktStartQuorvex()");
  EXPECT_TRUE(CopyExists());
}

}  // namespace
}  // namespace traskel
