// The wait for a busy host, against a host whose calls fail as scripted.
#include <chrono>
#include <deque>
#include <memory>

#include <gtest/gtest.h>

#include "host/busy.h"
#include "support/host_errors.h"

namespace traskel::host {
namespace {

using namespace std::chrono_literals;

constexpr int kUnspecifiedFailure = -2147467259;  // E_FAIL: a COM error, not a refusal

// Each attempt, creation or call, fails with the next number of `failures`
// while there is one; then it succeeds.
struct ScriptedHost : Automation {
  struct Thing : Object {
    explicit Thing(ScriptedHost& h) : host(h) {}
    Value Get(DispId id) override {
      host.Attempt();
      return I4(id);
    }
    void Put(DispId, const Value&) override { host.Attempt(); }
    Value Call(DispId id, std::span<const Arg>) override { return Get(id); }
    ScriptedHost& host;
  };

  ObjectPtr CreateObject(const std::string&) override {
    Attempt();
    return std::make_shared<Thing>(*this);
  }
  void Attempt() {
    ++attempts;
    if (failures.empty()) return;
    const int number = failures.front();
    failures.pop_front();
    if (number != 0) throw Error(number, "scripted " + std::to_string(number));
  }

  std::deque<int> failures;
  int attempts = 0;
};

struct Waiting {
  explicit Waiting(BusyWait wait, std::deque<bool> answers = {})
      : automation(WaitingOutBusyHost(host, wait, [this, answers]() mutable {
          ++asked;
          const bool again = !answers.empty() && answers.front();
          if (!answers.empty()) answers.pop_front();
          return again;
        })) {}
  ScriptedHost host;
  int asked = 0;
  std::unique_ptr<Automation> automation;
};

TEST(WaitingOutBusyHost, RepeatsRefusedCallsAndCreationsAndNothingElse) {
  Waiting w({1s, 1ms});
  w.host.failures = {kCallRejected, kServerCallRetryLater};
  Ref thing = w.automation->CreateObject("Quorvex.Application");
  EXPECT_EQ(w.host.attempts, 3);
  w.host.failures = {kServerCallRetryLater, kCallRejected, kServerCallRetryLater};
  EXPECT_EQ(thing.Get(2), I4(2));
  EXPECT_EQ(w.host.attempts, 3 + 4);
  EXPECT_EQ(w.asked, 0);

  // Any other failure may have done part of its work: it goes up at once.
  for (const int number : {440, kUnspecifiedFailure}) {
    w.host.attempts = 0;
    w.host.failures = {number};
    EXPECT_EQ(testing::ErrorNumberOf([&] { thing.Put(9, Str("x")); }), number);
    EXPECT_EQ(w.host.attempts, 1);
  }
  EXPECT_EQ(w.asked, 0);
}

TEST(WaitingOutBusyHost, AsksOnceABudgetIsSpentAndGivesUpWithTheRefusal) {
  // Retry waits one more budget, Cancel ends the wait.
  Waiting w({30ms, 5ms}, {true, false});
  w.host.failures.assign(1000, kCallRejected);
  const auto start = std::chrono::steady_clock::now();
  bool gaveUp = false;
  try {
    w.automation->CreateObject("Quorvex.PointData");
  } catch (const GaveUpOnBusyHost& e) {
    gaveUp = true;
    EXPECT_EQ(e.number(), kCallRejected);
    EXPECT_EQ(e.text(), "scripted " + std::to_string(kCallRejected));
  }
  EXPECT_TRUE(gaveUp);
  EXPECT_EQ(w.asked, 2);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
  // Sent again every interval, not in a busy loop.
  EXPECT_GE(w.host.attempts, 4);
  EXPECT_LE(w.host.attempts, 2 * 30 / 5 + 4);
}

}  // namespace
}  // namespace traskel::host
