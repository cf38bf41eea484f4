// The simulated host against the contract its callers rely on: the trace of
// every operation, the checks of ids and arguments, the host states, the
// simulated failure and the model the calls build.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/value.h"
#include "quorvex_sim/sim_host.h"
#include "support/host_errors.h"
#include "support/test_bed.h"

namespace {

using quorvex_sim::Command;
using quorvex_sim::Options;
using quorvex_sim::SimHost;
using quorvex_sim::SlotData;
using quorvex_sim::State;
using traskel::host::AsObject;
using traskel::host::Bool;
using traskel::host::ByRef;
using traskel::host::Error;
using traskel::host::I2;
using traskel::host::I4;
using traskel::host::Obj;
using traskel::host::R8;
using traskel::host::Ref;
using traskel::host::Str;
using traskel::host::Value;

using traskel::testing::ErrorNumberOf;

// A host whose trace is collected in memory, and the objects a converter
// fetches when it connects.
struct Session {
  explicit Session(Options o = {})
      : host(traskel::testing::QuietHost(traskel::testing::TracingInto(trace, std::move(o)))) {}

  void Connect() {
    app = Ref(host.CreateObject("Quorvex.Application"));
    pointData = Ref(host.CreateObject("Quorvex.PointData"));
    program = AsObject(app.Get(2));
    cmds = AsObject(program.Get(11));
    cmd = AsObject(cmds.Get(12));
    cmds.Call(5, Obj(cmd.ptr()));
    cmd.Put(0, Bool(true));
  }

  // A new feature command of the type, as the converter adds one.
  Ref AddFeature(std::int32_t typeCode, const std::string& label) {
    Value type = I4(typeCode);
    cmd = AsObject(cmds.Call(8, ByRef(type), Bool(true)));
    Ref feature = AsObject(cmd.Get(9));
    cmd.Put(3, Str(label));
    return feature;
  }

  Value StoreSlot(const Ref& feature, std::int32_t slot) {
    Value carrier = Obj(pointData.ptr());
    Value result = feature.Call(60, ByRef(carrier), I4(slot), I4(100), I4(13), Str(""), I4(0));
    pointData = AsObject(carrier);
    return result;
  }

  std::vector<std::string> trace;
  SimHost host;
  Ref app, pointData, program, cmds, cmd;
};

TEST(SimTrace, ConnectionAndRecordLines) {
  Session s;
  s.Connect();
  Ref feature = s.AddFeature(603, "P1");
  feature.Put(8, I2(100));
  s.pointData.Call(7, R8(1), R8(2), R8(3));
  s.StoreSlot(feature, 0);
  feature.Put(6, R8(2.5));
  s.cmd.Call(28, Str("NO"), I4(43), I4(0));

  const std::vector<std::string> expected = {
      R"(create "Quorvex.Application" -> Obj:Application)",
      R"(create "Quorvex.PointData" -> Obj:PointData)",
      "Application get 2 -> Obj:MeasurementProgram",
      "MeasurementProgram get 11 -> Obj:CMDS",
      "CMDS get 12 -> Obj:Cmd",
      "CMDS call 5 Obj:Cmd -> Bool:True",
      "Cmd put 0 Bool:True",
      "CMDS call 8 I4&:603 Bool:True -> Obj:Cmd",
      "Cmd get 9 -> Obj:FeatureData",
      R"(Cmd put 3 Str:"P1")",
      "FeatureData put 8 I2:100",
      "PointData call 7 R8:1 R8:2 R8:3",
      R"(FeatureData call 60 Obj&:PointData I4:0 I4:100 I4:13 Str:"" I4:0 -> Bool:True)",
      "FeatureData put 6 R8:2.5",
      R"(Cmd call 28 Str:"NO" I4:43 I4:0)",
  };
  EXPECT_EQ(s.trace, expected);
  EXPECT_EQ(s.host.operationCount(), 15);
}

TEST(SimTrace, ValueTexts) {
  Session s;
  s.Connect();
  s.trace.clear();
  s.pointData.Call(8, R8(-0.5), R8(1e20), R8(0.1 + 0.2));
  s.pointData.Put(1, R8(12.7));
  s.app.Put(9, Str("q\"b\\ t\tr\rn\n\x01\x1f \xC3\x84\xE2\x82\xAC"));
  Ref comment = AsObject(s.cmd.Get(53));
  Value line = I4(1);
  comment.Call(6, ByRef(line), Str(""));
  Ref feature = s.AddFeature(603, "x");
  feature.Put(81, Bool(false));
  EXPECT_EQ(ErrorNumberOf([&] { s.cmds.Call(5, Obj(nullptr)); }), 13);

  const std::vector<std::string> expected = {
      "PointData call 8 R8:-0.5 R8:1e+20 R8:0.30000000000000004",
      "PointData put 1 R8:12.7",
      R"(Application put 9 Str:"q\"b\\ t\tr\rn\n\u0001\u001f )"
      "\xC3\x84\xE2\x82\xAC\"",
      "Cmd get 53 -> Obj:CommentData",
      R"(CommentData call 6 I4&:1 Str:"")",
      "CMDS call 8 I4&:603 Bool:True -> Obj:Cmd",
      "Cmd get 9 -> Obj:FeatureData",
      R"(Cmd put 3 Str:"x")",
      "FeatureData put 81 Bool:False",
      "CMDS call 5 Obj:Nothing",
  };
  EXPECT_EQ(s.trace, expected);
}

TEST(SimTrace, FileIsAppendedAndFlushedPerLine) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("quorvex_sim_trace_" + std::to_string(getpid()) + ".txt");
  { std::ofstream(path) << "earlier run\n"; }
  auto read = [&] { return traskel::testing::LinesOf(traskel::testing::ReadAll(path.string())); };

  Options o;
  o.tracePath = path.string();
  o.showProgress = false;
  o.printListing = false;
  SimHost host(o);
  Ref app(host.CreateObject("Quorvex.Application"));
  EXPECT_EQ(read(), (std::vector<std::string>{
                        "earlier run", R"(create "Quorvex.Application" -> Obj:Application)"}));
  EXPECT_EQ(ErrorNumberOf([&] { app.Get(3); }), 438);
  EXPECT_EQ(read().back(), "Application get 3");
  std::filesystem::remove(path);
}

TEST(SimTrace, UnopenableFileWarnsAndTheHostStillWorks) {
  Options o;
  o.tracePath = "/nonexistent-dir/trace.txt";
  testing::internal::CaptureStderr();
  SimHost host(o);
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_NE(warning.find("/nonexistent-dir/trace.txt"), std::string::npos) << warning;
  EXPECT_TRUE(host.CreateObject("Quorvex.Application") != nullptr);
}

TEST(SimChecks, UnknownIdsAndWrongKinds) {
  Session s;
  s.Connect();
  Ref feature = s.AddFeature(603, "P");
  s.trace.clear();
  EXPECT_EQ(ErrorNumberOf([&] { s.app.Put(2, Str("x")); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { s.app.Call(9, Str("x")); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { s.program.Get(12); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmds.CallIgnoringResult(12); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmd.Get(3); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { feature.Put(10, I2(0)); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { feature.Get(6); }), 438);
  EXPECT_EQ(ErrorNumberOf([&] { s.pointData.Call(9, R8(0), R8(0), R8(0)); }), 438);
  const std::vector<std::string> expected = {
      R"(Application put 2 Str:"x")",
      R"(Application call 9 Str:"x")",
      "MeasurementProgram get 12",
      "CMDS call 12",
      "Cmd get 3",
      "FeatureData put 10 I2:0",
      "FeatureData get 6",
      "PointData call 9 R8:0 R8:0 R8:0",
  };
  EXPECT_EQ(s.trace, expected);
}

TEST(SimChecks, CallsWhoseResultIsUsedReachPropertiesTooAndAreTracedAsWhatTheyReach) {
  Session s;
  s.Connect();
  s.trace.clear();
  EXPECT_TRUE(AsObject(s.app.Call(2)));
  Value type = I4(603);
  EXPECT_TRUE(AsObject(s.cmds.Call(8, ByRef(type), Bool(true))));
  s.pointData.CallIgnoringResult(7, R8(1), R8(2), R8(3));
  EXPECT_EQ(ErrorNumberOf([&] { s.program.CallIgnoringResult(11); }), 438);
  const std::vector<std::string> expected = {
      "Application get 2 -> Obj:MeasurementProgram",
      "CMDS call 8 I4&:603 Bool:True -> Obj:Cmd",
      "PointData call 7 R8:1 R8:2 R8:3",
      "MeasurementProgram call 11",
  };
  EXPECT_EQ(s.trace, expected);
}

TEST(SimChecks, ArgumentCountsAndTypesLeaveTheModelAlone) {
  Session s;
  s.Connect();
  Ref feature = s.AddFeature(612, "C");
  Ref comment = AsObject(s.cmd.Get(53));
  const std::vector<Command> before = s.host.commands();
  Value carrier = Obj(s.pointData.ptr());
  Value notCarrier = Obj(s.cmd.ptr());
  Value type = I4(603);
  const std::size_t traced = s.trace.size();

  EXPECT_EQ(ErrorNumberOf([&] { s.pointData.Call(7, R8(1), R8(2)); }), 450);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmds.Call(8, ByRef(type)); }), 450);
  EXPECT_EQ(
      ErrorNumberOf([&] { feature.Call(60, ByRef(carrier), I4(0), I4(100), I4(13), Str("")); }),
      450);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmd.Call(93, I4(1), I4(165)); }), 450);

  EXPECT_EQ(ErrorNumberOf([&] { s.pointData.Call(7, R8(1), I4(2), R8(3)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { s.pointData.Put(1, I2(1)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmds.Call(8, I2(603), Bool(true)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmds.Call(5, ByRef(carrier)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmd.Put(3, I4(1)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { s.cmd.Call(28, Str("NO"), I2(43), I4(0)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { feature.Put(8, I4(100)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { feature.Put(6, I4(0)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { feature.Put(9, I2(0)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] {
              feature.Call(60, ByRef(notCarrier), I4(0), I4(100), I4(13), Str(""), I4(0));
            }),
            13);
  EXPECT_EQ(ErrorNumberOf(
                [&] { feature.Call(60, ByRef(carrier), I4(0), I4(100), I4(13), I4(0), I4(0)); }),
            13);
  EXPECT_EQ(ErrorNumberOf([&] { comment.Call(6, I4(1), I4(2)); }), 13);
  EXPECT_EQ(ErrorNumberOf([&] { s.app.Put(9, R8(1)); }), 13);

  EXPECT_EQ(s.trace.size(), traced + 17);
  EXPECT_EQ(s.trace[traced], "PointData call 7 R8:1 R8:2");
  EXPECT_EQ(s.trace.back(), "Application put 9 R8:1");
  EXPECT_EQ(s.host.commands().size(), before.size());
  EXPECT_TRUE(s.host.commands().back().properties == before.back().properties);
  EXPECT_TRUE(s.host.commands().back().slots.empty());
  EXPECT_EQ(s.host.commands().back().label, "C");
  EXPECT_TRUE(s.host.statusText().empty());
}

TEST(SimChecks, ObjectsFromOutsideTheHostAreRejected) {
  struct Outsider : traskel::host::Object {
    Value Get(traskel::host::DispId) override { return {}; }
    void Put(traskel::host::DispId, const Value&) override {}
    Value Call(traskel::host::DispId, std::span<const traskel::host::Arg>) override { return {}; }
  };
  Session s;
  s.Connect();
  EXPECT_EQ(ErrorNumberOf([&] { s.cmds.Call(5, Obj(std::make_shared<Outsider>())); }), 13);
  EXPECT_EQ(s.trace.back(), "CMDS call 5 Obj:Foreign");
}

TEST(SimStates, AbsentHostCannotCreateTheApplication) {
  Options o;
  o.state = State::Absent;
  Session s(o);
  EXPECT_EQ(ErrorNumberOf([&] { s.host.CreateObject("Quorvex.Application"); }), 429);
  EXPECT_EQ(ErrorNumberOf([&] { s.host.CreateObject("Quorvex.Nothing"); }), 429);
  EXPECT_EQ(s.trace, (std::vector<std::string>{R"(create "Quorvex.Application")",
                                               R"(create "Quorvex.Nothing")"}));
  EXPECT_FALSE(s.host.hasProgram());
  EXPECT_TRUE(s.host.commands().empty());
}

TEST(SimStates, NoProgramAndNoCommandsGiveNothing) {
  {
    Options o;
    o.state = State::NoProgram;
    Session s(o);
    Ref app(s.host.CreateObject("Quorvex.Application"));
    EXPECT_FALSE(AsObject(app.Get(2)));
    EXPECT_EQ(s.trace.back(), "Application get 2 -> Obj:Nothing");
    EXPECT_FALSE(s.host.hasProgram());
  }
  {
    Options o;
    o.state = State::NoCommands;
    Session s(o);
    Ref app(s.host.CreateObject("Quorvex.Application"));
    Ref program = AsObject(app.Get(2));
    ASSERT_TRUE(program);
    EXPECT_FALSE(AsObject(program.Get(11)));
    EXPECT_EQ(s.trace.back(), "MeasurementProgram get 11 -> Obj:Nothing");
    EXPECT_TRUE(s.host.hasProgram());
    EXPECT_EQ(s.host.commands().size(), 1u);
  }
}

TEST(SimFailAt, CountsCreatesAndFailsOnlyTheChosenOperation) {
  Options o;
  o.failAt = 2;
  Session s(o);
  Ref app(s.host.CreateObject("Quorvex.Application"));
  try {
    s.host.CreateObject("Quorvex.PointData");
    ADD_FAILURE() << "the second operation should fail";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 440);
    EXPECT_EQ(e.text(), "Quorvex: simulated failure of operation 2");
  }
  Ref pointData(s.host.CreateObject("Quorvex.PointData"));
  EXPECT_EQ(s.trace, (std::vector<std::string>{
                         R"(create "Quorvex.Application" -> Obj:Application)",
                         R"(create "Quorvex.PointData")",
                         R"(create "Quorvex.PointData" -> Obj:PointData)",
                     }));
  EXPECT_EQ(s.host.operationCount(), 3);

  Options later;
  later.failAt = 8;  // the first command added after connecting
  Session t(later);
  t.Connect();
  EXPECT_EQ(ErrorNumberOf([&] { t.AddFeature(603, "P"); }), 440);
  EXPECT_EQ(t.trace.back(), "CMDS call 8 I4&:603 Bool:True");
  EXPECT_EQ(t.host.commands().size(), 1u);
}

// In the caller's own process the host's end comes as an error, before the
// operation is traced.
TEST(SimExitAt, InTheCallersProcessTheEndIsAnErrorAndNotTraced) {
  Options o;
  o.exitAt = 2;
  Session s(o);
  Ref app(s.host.CreateObject("Quorvex.Application"));
  const Error e = traskel::testing::ErrorOf([&] { s.host.CreateObject("Quorvex.PointData"); });
  EXPECT_EQ(e.number(), 440);
  EXPECT_EQ(e.text(), "Quorvex: simulated host ended at operation 2");
  EXPECT_EQ(s.trace.size(), 1u);
}

TEST(SimBusy, SpellRefusesCallsUncountedAndUntracedThenTheyAreCarriedOut) {
  using namespace std::chrono_literals;
  Options o;
  o.busyAt = 3;
  o.busyFor = 300ms;
  o.failAt = 4;  // numbered as if nothing had been refused
  Session s(o);
  Ref app(s.host.CreateObject("Quorvex.Application"));
  Ref pointData(s.host.CreateObject("Quorvex.PointData"));
  const auto start = std::chrono::steady_clock::now();
  const Error refused = traskel::testing::ErrorOf([&] { app.Get(2); });
  EXPECT_EQ(refused.number(), traskel::host::kCallRejected);
  EXPECT_EQ(refused.text(), "Call was rejected by callee.");
  EXPECT_EQ(ErrorNumberOf([&] { s.host.CreateObject("Quorvex.PointData"); }),
            traskel::host::kCallRejected);
  EXPECT_EQ(ErrorNumberOf([&] { pointData.Put(1, R8(1)); }), traskel::host::kCallRejected);
  EXPECT_EQ(s.host.operationCount(), 2);
  EXPECT_EQ(s.trace.size(), 2u);

  Ref program;
  while (!program) {
    try {
      program = AsObject(app.Get(2));
    } catch (const Error& e) {
      ASSERT_EQ(e.number(), traskel::host::kCallRejected);
      std::this_thread::sleep_for(10ms);
    }
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, o.busyFor);
  EXPECT_EQ(ErrorNumberOf([&] { program.Get(11); }), 440);
  EXPECT_TRUE(AsObject(program.Get(11)));  // one spell only
  EXPECT_EQ(s.trace, (std::vector<std::string>{
                         R"(create "Quorvex.Application" -> Obj:Application)",
                         R"(create "Quorvex.PointData" -> Obj:PointData)",
                         "Application get 2 -> Obj:MeasurementProgram",
                         "MeasurementProgram get 11",
                         "MeasurementProgram get 11 -> Obj:CMDS",
                     }));
}

TEST(SimBusy, DelayHoldsEveryOperationBeforeItIsCarriedOut) {
  using namespace std::chrono_literals;
  Options o;
  o.delay = 50ms;
  Session s(o);
  const auto start = std::chrono::steady_clock::now();
  Ref app(s.host.CreateObject("Quorvex.Application"));
  app.Put(9, Str("x"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2 * o.delay);
  EXPECT_EQ(s.trace.size(), 2u);
}

TEST(SimHandBack, NewPointDataReplacesAByReferenceArgument) {
  Options o;
  o.handBackNewPointData = true;
  Session s(o);
  s.Connect();
  Ref feature = s.AddFeature(603, "P");
  const auto first = s.pointData.ptr();
  s.pointData.Call(7, R8(1), R8(2), R8(3));
  s.StoreSlot(feature, 0);
  ASSERT_NE(s.pointData.ptr(), first);
  EXPECT_EQ(s.trace.back(),
            R"(FeatureData call 60 Obj&:PointData I4:0 I4:100 I4:13 Str:"" I4:0 -> Bool:True)");
  // The new object carries the numbers on: stored again as it is, it gives
  // the same position.
  s.StoreSlot(feature, 5);

  // By value the caller's variable can't change.
  Value byValue = Obj(s.pointData.ptr());
  feature.Call(60, byValue, I4(7), I4(100), I4(13), Str(""), I4(0));

  const Command& c = s.host.commands().back();
  EXPECT_EQ(c.slotOrder, (std::vector<std::int32_t>{0, 5, 7}));
  EXPECT_EQ(c.slots.at(0).pointDataId, 1);
  EXPECT_EQ(c.slots.at(5).pointDataId, 2);
  EXPECT_EQ(c.slots.at(7).pointDataId, 3);
  EXPECT_EQ(c.slots.at(5).kind, SlotData::Kind::Position);
  EXPECT_EQ(c.slots.at(5).z, 3.0);
  EXPECT_EQ(byValue.obj(), s.pointData.ptr());

  Session plain;
  plain.Connect();
  Ref f = plain.AddFeature(603, "P");
  const auto same = plain.pointData.ptr();
  plain.StoreSlot(f, 0);
  EXPECT_EQ(plain.pointData.ptr(), same);
}

TEST(SimModel, CommentAndFeatureCommands) {
  Session s;
  s.Connect();
  EXPECT_EQ(s.host.commands().at(0).label, "START");

  Value commentType = I4(170);
  s.cmd = AsObject(s.cmds.Call(8, commentType, Bool(true)));
  const Ref commentCmd = s.cmd;
  Ref comment = AsObject(s.cmd.Get(53));
  comment.Put(1, I4(3));
  s.cmd.Call(93, I4(1), I4(165), I4(0));
  comment.Call(6, I4(1), Str("header, \"quoted\""));

  Ref feature = s.AddFeature(616, "CYL1");
  feature.Put(6, I2(0));
  feature.Put(9, Bool(false));
  s.cmd.Call(28, Str("0"), I4(78), I4(0));
  s.pointData.Call(7, R8(1), R8(2), R8(3));
  s.StoreSlot(feature, 0);
  s.pointData.Call(8, R8(0), R8(0), R8(1));
  s.StoreSlot(feature, 1);
  s.pointData.Put(1, R8(10));
  s.StoreSlot(feature, 40);
  feature.Put(9, Bool(true));
  s.cmd.Call(28, Str("5"), I4(78), I4(0));
  feature.Put(6, R8(10));
  // CMDS 12 gives the command added last.
  EXPECT_EQ(s.trace.back(), "FeatureData put 6 R8:10");
  AsObject(s.cmds.Get(12)).Put(3, Str("CYL2"));

  const std::vector<Command>& m = s.host.commands();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].typeCode, 1);
  EXPECT_EQ(m[0].properties.at(0), Bool(true));

  EXPECT_EQ(m[1].typeCode, 170);
  EXPECT_EQ(m[1].commentKind, 3);
  EXPECT_EQ(m[1].commentFormat, (std::vector<std::int32_t>{1, 165, 0}));
  EXPECT_EQ(m[1].commentLines.at(1), "header, \"quoted\"");

  const Command& f = m[2];
  EXPECT_EQ(f.typeCode, 616);
  EXPECT_EQ(f.label, "CYL2");
  EXPECT_EQ(f.properties.at(6), R8(10));
  EXPECT_EQ(f.properties.at(9), Bool(true));
  EXPECT_EQ(f.texts.at(78), "5");
  EXPECT_EQ(f.slotOrder, (std::vector<std::int32_t>{0, 1, 40}));
  const SlotData& vec = f.slots.at(1);
  EXPECT_EQ(vec.kind, SlotData::Kind::Vector);
  EXPECT_EQ(vec.k, 1.0);
  EXPECT_EQ(vec.x, 1.0);  // the position loaded before stays in the carrier
  const SlotData& val = f.slots.at(40);
  EXPECT_EQ(val.kind, SlotData::Kind::Value);
  EXPECT_EQ(val.value, 10.0);
  EXPECT_EQ(val.pointDataId, 1);

  // The commands seen later include changes to earlier commands.
  commentCmd.Put(3, Str("renamed"));
  comment.Call(6, I4(2), Str("second"));
  s.cmds.Call(8, I4(603), Bool(true));
  const std::vector<Command>& later = s.host.commands();
  ASSERT_EQ(later.size(), 4u);
  EXPECT_EQ(later[1].label, "renamed");
  EXPECT_EQ(later[1].commentLines.size(), 2u);
  EXPECT_EQ(later[2].label, "CYL2");
  EXPECT_EQ(later[3].typeCode, 603);
}

}  // namespace
