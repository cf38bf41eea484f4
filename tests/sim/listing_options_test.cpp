// What the simulated host shows of a run: the listing of the measurement
// program, the status line on a terminal, and the options it reads from the
// environment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "host/value.h"
#include "quorvex_sim/model.h"
#include "quorvex_sim/sim_host.h"
#include "support/terminal.h"
#include "support/test_bed.h"

namespace {

using quorvex_sim::Options;
using quorvex_sim::SimHost;
using quorvex_sim::State;
using traskel::host::AsObject;
using traskel::host::Bool;
using traskel::host::ByRef;
using traskel::host::I2;
using traskel::host::I4;
using traskel::host::Obj;
using traskel::host::R8;
using traskel::host::Ref;
using traskel::host::Str;
using traskel::host::Value;

using traskel::testing::QuietHost;

using traskel::testing::LinesOf;
using traskel::testing::OnTerminal;

// Adds a comment and a circle with the usual defaults, some changed.
void BuildSmallProgram(SimHost& host) {
  Ref app(host.CreateObject("Quorvex.Application"));
  Ref pointData(host.CreateObject("Quorvex.PointData"));
  Ref cmds = AsObject(AsObject(app.Get(2)).Get(11));
  Ref start = AsObject(cmds.Get(12));
  start.Put(0, Bool(true));

  Ref comment = AsObject(cmds.Call(8, I4(170), Bool(true)));
  Ref commentData = AsObject(comment.Get(53));
  commentData.Put(1, I4(3));
  comment.Call(93, I4(1), I4(165), I4(0));
  commentData.Call(6, I4(1), Str("Part \"A\"\tv2"));

  Value type = I4(612);
  Ref cmd = AsObject(cmds.Call(8, ByRef(type), Bool(true)));
  Ref feature = AsObject(cmd.Get(9));
  cmd.Put(3, Str("CIR1"));
  for (int id : {83, 81, 12}) feature.Put(id, Bool(false));
  feature.Put(8, I2(100));
  feature.Put(18, I2(0));
  feature.Put(4, I2(0));
  feature.Put(7, I2(0));
  feature.Put(19, I2(999));
  feature.Put(5, I2(3));
  cmd.Call(28, Str("NO"), I4(43), I4(0));
  cmd.Call(28, Str("0"), I4(78), I4(0));
  feature.Put(6, I2(0));
  feature.Put(9, Bool(false));
  feature.Put(48, I2(0));
  pointData.Call(7, R8(1), R8(-2.5), R8(3));
  Value carrier = Obj(pointData.ptr());
  feature.Call(60, ByRef(carrier), I4(0), I4(100), I4(13), Str(""), I4(0));
  pointData.Call(8, R8(0), R8(0), R8(1));
  feature.Call(60, ByRef(carrier), I4(1), I4(100), I4(13), Str(""), I4(0));
  pointData.Put(1, R8(12.7));
  feature.Call(60, ByRef(carrier), I4(6), I4(100), I4(13), Str(""), I4(0));
  feature.Put(9, Bool(true));
  cmd.Call(28, Str("6.35"), I4(78), I4(0));
  feature.Put(6, R8(0));  // same number as the default, other type: listed

  cmds.Call(8, I4(4711), Bool(true));
}

TEST(SimListing, OneReadableLinePerCommand) {
  SimHost host(QuietHost());
  BuildSmallProgram(host);
  const std::vector<std::string> expected = {
      "Quorvex measurement program: 4 commands",
      R"(1 start (1) "START" p0=True)",
      R"(2 comment (170) "" kind=3 format=(1, 165, 0) c1="Part \"A\"\tv2")",
      R"(3 circle (612) "CIR1" pos[0]=(1, -2.5, 3) vec[1]=(0, 0, 1) val[6]=12.7 p6=R8:0 p9=True)"
      R"( t43="NO" t78="6.35")",
      R"(4 type 4711 (4711) "")",
  };
  EXPECT_EQ(LinesOf(host.Listing()), expected);
}

TEST(SimListing, ControlCharactersAreEscapedTheHostKeepsThem) {
  SimHost host(QuietHost());
  Ref app(host.CreateObject("Quorvex.Application"));
  Ref cmds = AsObject(AsObject(app.Get(2)).Get(11));
  Ref comment = AsObject(cmds.Call(8, I4(170), Bool(true)));
  const std::string text = "a\x1b[2Jb\x7f\xC2\x85\xC2\xA0\t\xC3\xA4";
  AsObject(comment.Get(53)).Call(6, I4(1), Str(text));
  // The bidirectional controls, U+202F next to them stays.
  comment.Put(3, Str("L\xC2\x9B\xE2\x80\xAE\xE2\x81\xA9\xE2\x80\xAF"));
  EXPECT_EQ(LinesOf(host.Listing()).back(), R"(2 comment (170) "L\u009b\u202e\u2069)"
                                            "\xE2\x80\xAF"
                                            R"(" c1="a\u001b[2Jb\u007f\u0085)"
                                            "\xC2\xA0"
                                            R"(\t)"
                                            "\xC3\xA4\"");
  EXPECT_EQ(host.commands().back().commentLines.at(1), text);
}

TEST(SimListing, EndOfRunPrintsItOnlyWhenAProgramExists) {
  Options o = QuietHost();
  o.printListing = true;
  {
    SimHost host(o);
    BuildSmallProgram(host);
    testing::internal::CaptureStdout();
    host.EndOfRun();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), host.Listing());
  }
  {
    o.state = State::NoProgram;
    SimHost host(o);
    Ref app(host.CreateObject("Quorvex.Application"));
    testing::internal::CaptureStdout();
    host.EndOfRun();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  {
    SimHost host(QuietHost());
    BuildSmallProgram(host);
    testing::internal::CaptureStdout();
    host.EndOfRun();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
}

TEST(SimModel, RecordsStayDistinctAndInPlaceAcrossChunks) {
  quorvex_sim::ProgramModel model;
  std::vector<const quorvex_sim::Record*> added;
  for (int n = 0; n < 5000; ++n) {
    quorvex_sim::Record& r = model.Add();
    r.typeCode = n;
    added.push_back(&r);
  }
  ASSERT_EQ(model.size(), 5000u);
  for (std::size_t n = 0; n < added.size(); ++n) {
    ASSERT_EQ(&model[n], added[n]) << n;
    ASSERT_EQ(model[n].typeCode, static_cast<int>(n));
  }
}

TEST(SimListing, LongProgramKeepsItsNumbering) {
  Options o = QuietHost();
  o.printListing = true;
  SimHost host(o);
  Ref app(host.CreateObject("Quorvex.Application"));
  Ref cmds = AsObject(AsObject(app.Get(2)).Get(11));
  for (int n = 0; n < 20000; ++n) cmds.Call(8, I4(603), Bool(true));

  testing::internal::CaptureStdout();
  host.EndOfRun();
  const std::vector<std::string> lines = LinesOf(testing::internal::GetCapturedStdout());
  ASSERT_EQ(lines.size(), 20002u);
  EXPECT_EQ(lines[0], "Quorvex measurement program: 20001 commands");
  EXPECT_EQ(lines[1], R"(    1 start (1) "START")");
  EXPECT_EQ(lines[20001], R"(20001 point (603) "")");
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, hadOld_ = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (hadOld_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

TEST(SimOptions, FromEnvironment) {
  {
    ScopedEnv state("QUORVEX_SIM_STATE", nullptr), trace("QUORVEX_SIM_TRACE", nullptr),
        failAt("QUORVEX_SIM_FAIL_AT", nullptr), exitAt("QUORVEX_SIM_EXIT_AT", nullptr),
        busy("QUORVEX_SIM_BUSY", nullptr), delay("QUORVEX_SIM_DELAY", nullptr);
    const Options o = Options::FromEnvironment();
    EXPECT_EQ(o.state, State::Running);
    EXPECT_EQ(o.tracePath, "");
    EXPECT_EQ(o.failAt, 0);
    EXPECT_EQ(o.exitAt, 0);
    EXPECT_EQ(o.busyAt, 0);
    EXPECT_EQ(o.delay.count(), 0);
  }
  {
    ScopedEnv state("QUORVEX_SIM_STATE", "no-commands"), trace("QUORVEX_SIM_TRACE", "/tmp/t.txt"),
        failAt("QUORVEX_SIM_FAIL_AT", "1234"), exitAt("QUORVEX_SIM_EXIT_AT", "77"),
        busy("QUORVEX_SIM_BUSY", "12:2500"), delay("QUORVEX_SIM_DELAY", "40");
    const Options o = Options::FromEnvironment();
    EXPECT_EQ(o.state, State::NoCommands);
    EXPECT_EQ(o.tracePath, "/tmp/t.txt");
    EXPECT_EQ(o.failAt, 1234);
    EXPECT_EQ(o.exitAt, 77);
    EXPECT_EQ(o.busyAt, 12);
    EXPECT_EQ(o.busyFor.count(), 2500);
    EXPECT_EQ(o.delay.count(), 40);
  }
  const std::pair<const char*, State> states[] = {
      {"running", State::Running},
      {"absent", State::Absent},
      {"no-program", State::NoProgram},
  };
  for (const auto& [text, state] : states) {
    ScopedEnv env("QUORVEX_SIM_STATE", text);
    EXPECT_EQ(Options::FromEnvironment().state, state) << text;
  }
}

TEST(SimOptions, BadValuesWarnAndFallBack) {
  ScopedEnv state("QUORVEX_SIM_STATE", "Absent!"), failAt("QUORVEX_SIM_FAIL_AT", "12x"),
      exitAt("QUORVEX_SIM_EXIT_AT", "+3"), delay("QUORVEX_SIM_DELAY", "-5");
  testing::internal::CaptureStderr();
  const Options o = Options::FromEnvironment();
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(o.state, State::Running);
  EXPECT_EQ(o.failAt, 0);
  EXPECT_EQ(o.exitAt, 0);
  EXPECT_EQ(o.delay.count(), 0);
  EXPECT_NE(warnings.find("QUORVEX_SIM_STATE"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("QUORVEX_SIM_FAIL_AT"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("QUORVEX_SIM_EXIT_AT"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("QUORVEX_SIM_DELAY"), std::string::npos) << warnings;

  ScopedEnv huge("QUORVEX_SIM_FAIL_AT", "99999999999999999999");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Options::FromEnvironment().failAt, 0);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");

  for (const char* busy : {"12", "12:", ":500", "x:500", "12:-5", "12:5s"}) {
    ScopedEnv env("QUORVEX_SIM_BUSY", busy), delay("QUORVEX_SIM_DELAY", "0.5");
    testing::internal::CaptureStderr();
    const Options bad = Options::FromEnvironment();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(bad.busyAt, 0) << busy;
    EXPECT_EQ(bad.delay.count(), 0);
    EXPECT_NE(said.find("QUORVEX_SIM_BUSY"), std::string::npos) << said;
    EXPECT_NE(said.find("QUORVEX_SIM_DELAY"), std::string::npos) << said;
  }
}

TEST(SimProgress, StatusLineIsTruncatedToTheTerminalAndCleared) {
  Options o = QuietHost();
  o.showProgress = true;
  std::string status;
  const std::optional<std::string> seen = OnTerminal(12, [&] {
    SimHost host(o);
    Ref app(host.CreateObject("Quorvex.Application"));
    // Two-byte letters count as one column each.
    app.Put(9, Str("50% \xC3\x84\xC3\x96 Zeile:\nabcdefgh"));
    status = host.statusText();
    host.EndOfRun();
  });
  if (!seen) GTEST_SKIP() << "no pseudo-terminal here";
  EXPECT_EQ(status, "50% \xC3\x84\xC3\x96 Zeile:\nabcdefgh");
  EXPECT_EQ(*seen, "\r50% \xC3\x84\xC3\x96 Zeil\x1b[K\r\x1b[K");
}

}  // namespace
