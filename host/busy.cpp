#include "host/busy.h"

#include <thread>

#include "host/forwarding.h"

namespace traskel::host {

bool IsBusyRefusal(int number) {
  return number == kCallRejected || number == kServerCallRetryLater;
}

namespace {

class Patience {
 public:
  Patience(BusyWait wait, KeepWaiting keepWaiting)
      : wait_(wait), keepWaiting_(std::move(keepWaiting)) {}

  // The result of `attempt`, made again while the host refuses it as busy.
  Value Attempt(SendRef attempt) const {
    try {
      return Watched(attempt);
    } catch (const GaveUpOnBusyHost&) {
      throw;  // given up further in already
    } catch (const Error& e) {
      if (!IsBusyRefusal(e.number())) throw;
      return AttemptAgain(attempt, e);
    }
  }

 private:
  // The waiting, apart from the call that nearly always goes through at
  // once. The budget runs from the first refusal: the clock is read only
  // then, as under wine a reading costs a good part of a call.
  Value AttemptAgain(SendRef attempt, Error refusal) const {
    const auto first = std::chrono::steady_clock::now();
    if (wait_.watch != nullptr) wait_.watch->Busy(first);
    // However the waiting ends, the watch hears that it did.
    struct Over {
      const BusyWait& wait;
      std::chrono::steady_clock::time_point first;
      ~Over() {
        if (wait.watch != nullptr) wait.watch->NotBusy(std::chrono::steady_clock::now() - first);
      }
    } over{wait_, first};
    auto start = first;
    auto now = start;
    for (;;) {
      if (wait_.stop != nullptr && wait_.stop->Requested()) throw GaveUpOnBusyHost(refusal);
      if (now - start < wait_.budget) {
        std::this_thread::sleep_for(wait_.interval);
      } else {
        if (!keepWaiting_ || !keepWaiting_()) throw GaveUpOnBusyHost(refusal);
        start = std::chrono::steady_clock::now();
      }
      try {
        return Watched(attempt);
      } catch (const GaveUpOnBusyHost&) {
        throw;
      } catch (const Error& e) {
        if (!IsBusyRefusal(e.number())) throw;
        refusal = e;
      }
      now = std::chrono::steady_clock::now();
    }
  }

  // One attempt, which the watch sees begin and end.
  Value Watched(SendRef attempt) const {
    if (wait_.watch == nullptr) return attempt();
    wait_.watch->Begin();
    struct Ended {
      CallWatch& watch;
      ~Ended() { watch.End(); }
    } ended{*wait_.watch};
    return attempt();
  }

  BusyWait wait_;
  KeepWaiting keepWaiting_;
};

// A host object seen through the patience: the host's own object inside is
// what calls reach, and what crosses back to the host as an argument.
class PatientObject final : public ForwardingObject {
 public:
  PatientObject(ObjectPtr inner, std::shared_ptr<const Patience> patience)
      : ForwardingObject(std::move(inner), patience.get()), patience_(std::move(patience)) {}

 private:
  Value Carry(const Operation&, SendRef send) override { return patience_->Attempt(send); }

  ObjectPtr Wrap(ObjectPtr inner, const Operation&, const Value*) override {
    return std::make_shared<PatientObject>(std::move(inner), patience_);
  }

  std::shared_ptr<const Patience> patience_;
};

class WaitingAutomation final : public ForwardingAutomation {
 public:
  WaitingAutomation(Automation& inner, std::shared_ptr<const Patience> patience)
      : ForwardingAutomation(inner), patience_(std::move(patience)) {}

 private:
  Value Carry(const Operation&, SendRef send) override { return patience_->Attempt(send); }

  ObjectPtr Wrap(ObjectPtr created, const std::string&) override {
    return std::make_shared<PatientObject>(std::move(created), patience_);
  }

  std::shared_ptr<const Patience> patience_;
};

}  // namespace

std::unique_ptr<Automation> WaitingOutBusyHost(Automation& inner, BusyWait wait,
                                               KeepWaiting keepWaiting) {
  return std::make_unique<WaitingAutomation>(
      inner, std::make_shared<const Patience>(wait, std::move(keepWaiting)));
}

}  // namespace traskel::host
