// What the program's thread shows while the host's thread works, and when it
// gives up on a call, second by second on a clock of the test's own.
#include <thread>

#include <gtest/gtest.h>

#include "app/host_thread.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(HostWatch, ShowsTheProgressABusyHostAndASilentOneAndGivesUpOnAStopInASilentCall) {
  testing::FakeUi fake;
  ThreadedUi ui(fake);
  host::CallWatch calls;
  const Clock::time_point start{};
  HostWatch watch(ui, calls, fake.stop, 15s, {"teil.csv", "Verbinde mit Quorvex …", "0:01", 0},
                  start + 1s);
  const auto shown = [&] { return fake.progress.empty() ? ProgressView{} : fake.progress.back(); };
  struct Step {
    Clock::duration at;
    std::function<void()> meanwhile;
    std::string position, times;
    bool silent = false, givesUp = false;
  };
  const Step steps[] = {
      // Nothing before a second, the first view then, the clock ticking on
      // while the first call hangs.
      {0ms, [&] { calls.Begin(); }, "", ""},
      {1s, {}, "Verbinde mit Quorvex …", "0:01"},
      {3s, {}, "Verbinde mit Quorvex …", "0:03"},
      // The run's own view; a busy spell in the times, counted from its start.
      {4s,
       [&] {
         calls.End();
         std::thread([&] { ui.ShowProgress({"teil.csv", "Zeile 5 von 9", "0:02", 0.5}); }).join();
       },
       "Zeile 5 von 9", "0:02"},
      {5s, [&] { calls.Busy(start + 3s); }, "Zeile 5 von 9",
       "Quorvex ist beschäftigt – warte 0:02"},
      // Silent for 15 s in one call; waiting on hides it for 15 s more.
      {6s, [&] { calls.NotBusy(3s), calls.Begin(); }, "Zeile 5 von 9", "0:06"},
      {21s, {}, "Quorvex antwortet seit 0:15 nicht.", "", true},
      {22s, [&] { fake.keepWaiting = true; }, "Zeile 5 von 9", "0:22"},
      {36s, {}, "Zeile 5 von 9", "0:36"},
      {37s, {}, "Quorvex antwortet seit 0:31 nicht.", "", true},
      // A stop in that call gives up on it a second later.
      {38s, [&] { fake.stop.Request(); }, "Quorvex antwortet seit 0:32 nicht.", "", true},
      {39s, {}, "Quorvex antwortet seit 0:33 nicht.", "", true, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::chrono::duration_cast<std::chrono::seconds>(step.at).count());
    if (step.meanwhile) step.meanwhile();
    EXPECT_EQ(watch.Look(start + step.at), step.givesUp);
    EXPECT_EQ(shown().position, step.position);
    EXPECT_EQ(shown().times, step.times);
    EXPECT_EQ(shown().silent, step.silent);
  }
  EXPECT_EQ(watch.Silence(), 33s);
  EXPECT_EQ(calls.Waited(), 3s);
}

// A stop seen between two calls gives up on the next one once it has
// lasted a second.
TEST(HostWatch, GivesUpOnACallBegunAfterTheStopASecondAfterItBegan) {
  testing::FakeUi fake;
  ThreadedUi ui(fake);
  host::CallWatch calls;
  const Clock::time_point start{};
  HostWatch watch(ui, calls, fake.stop, 15s, {}, start);
  calls.Begin();
  calls.End();
  fake.stop.Request();
  EXPECT_FALSE(watch.Look(start));
  EXPECT_FALSE(watch.Look(start + 2s));
  calls.Begin();
  EXPECT_FALSE(watch.Look(start + 3s));
  EXPECT_FALSE(watch.Look(start + 3900ms));
  EXPECT_TRUE(watch.Look(start + 4s));
}

}  // namespace
}  // namespace traskel
