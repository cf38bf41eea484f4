// Time per host call through the COM client against the registered
// simulated host, run by hand under wine; never a test.
//
//   com_call_bench [--local-server] [--calls N] [--records N]
//
// --local-server asks COM for the classes out of process only (the DLL in a
// surrogate, registered by hand); otherwise the client creates them as the
// run does. Wine 8 starts one surrogate per class, so there FeatureData 60
// gets a point data of another process and refuses it (error 13).
//
// Each line gives a kind of call, how many, the time per call and, for whole
// records, records per second.
#include <windows.h>
// After windows.h, which they need.
#include <oaidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/sample_records.h"
#include "conversion/connection.h"
#include "conversion/conversion.h"
#include "conversion/run.h"
#include "host/com_automation.h"
#include "host/com_client_win32.h"
#include "host/com_win32.h"
#include "host/value.h"
#include "platform/user_interface.h"
#include "platform/wide_text_win32.h"

namespace {

using namespace traskel;
using host::Value;

class SilentUi : public UserInterface {
 public:
  void ShowMessage(const std::string& text, const std::string& title, Icon) override {
    std::fprintf(stderr, "message: %s %s\n", title.c_str(), text.c_str());
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return {}; }
  void PumpEvents() override {}
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon) override {
    std::fprintf(stderr, "question: %s %s\n", title.c_str(), text.c_str());
    return Answer::Cancel;
  }
};

// The client's objects, but created out of process only, so COM has to go
// through the surrogate.
class LocalServerAutomation : public host::Automation {
 public:
  host::ObjectPtr CreateObject(const std::string& className) override {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(Utf16(className).c_str(), &clsid);
    if (FAILED(hr)) throw host::com::ErrorFromHresult(hr);
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&dispatch));
    if (FAILED(hr)) throw host::com::ErrorFromHresult(hr);
    return host::com::WrapDispatch(dispatch.Get());
  }

 private:
  host::com::Apartment apartment_;
};

// Counts the calls a record makes, against objects that answer like the host
// without doing anything.
class CountingObject : public host::Object, public std::enable_shared_from_this<CountingObject> {
 public:
  explicit CountingObject(long& calls) : calls_(calls) {}
  Value Get(host::DispId) override {
    ++calls_;
    return host::Obj(shared_from_this());
  }
  void Put(host::DispId, const Value&) override { ++calls_; }
  Value Call(host::DispId id, std::span<const host::Arg>) override {
    ++calls_;
    if (id == 8) return host::Obj(shared_from_this());
    if (id == 60) return host::Bool(true);
    return Value();
  }

 private:
  long& calls_;
};

const std::vector<std::string> kMixedRecords = bench::SampleRecords();
const std::vector<std::string> kPointRecords = {kMixedRecords[0]};

Platform& QuietPlatform(host::Automation& automation) {
  static SilentUi ui;
  static std::vector<std::unique_ptr<Platform>> platforms;
  platforms.push_back(std::make_unique<Platform>(Platform{ui, automation, NumberFormat{}}));
  return *platforms.back();
}

// Host calls of one pass over the records.
long CallsPerPass(const std::vector<std::string>& records) {
  long calls = 0;
  struct Counting : host::Automation {
    explicit Counting(long& c) : calls(c) {}
    host::ObjectPtr CreateObject(const std::string&) override {
      return std::make_shared<CountingObject>(calls);
    }
    long& calls;
  } automation(calls);
  Run run(QuietPlatform(automation));
  run.PointData = automation.CreateObject("");
  run.CMDS = automation.CreateObject("");
  for (const std::string& line : records) {
    SplitFields(run.Fields, line);
    DispatchRecord(run, line);
  }
  return calls;
}

template <typename F>
double Seconds(long n, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) f(i);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* kind, long calls, double seconds) {
  std::printf("%-46s calls %9ld  us/call %8.3f\n", kind, calls, seconds * 1e6 / calls);
}

void ReportRecords(const char* kind, long records, long callsPerRecordPass, long pass,
                   double seconds) {
  const double calls = static_cast<double>(records) * callsPerRecordPass / pass;
  std::printf("%-46s calls %9.0f  us/call %8.3f  records/s %9.0f  calls/record %.2f\n", kind, calls,
              seconds * 1e6 / calls, records / seconds,
              static_cast<double>(callsPerRecordPass) / pass);
}

void TimeRecords(Run& run, const char* kind, const std::vector<std::string>& records, long n) {
  const auto each = [&](long i) {
    const std::string& line = records[static_cast<std::size_t>(i) % records.size()];
    SplitFields(run.Fields, line);
    DispatchRecord(run, line);
  };
  Seconds(std::min<long>(n / 10, 1000), each);  // warm-up
  const double seconds = Seconds(n, each);
  ReportRecords(kind, n, CallsPerPass(records), static_cast<long>(records.size()), seconds);
}

// A kind that fails is reported and the others still run.
template <typename F>
bool Attempt(const char* kind, F&& f) {
  try {
    f();
    return true;
  } catch (const host::Error& e) {
    std::printf("%-46s failed: error %d: %s\n", kind, e.number(), e.text().c_str());
    return false;
  }
}

int Bench(host::Automation& automation, long calls, long records) {
  Run run(QuietPlatform(automation));
  if (!fktStartQuorvex(run)) return 3;

  bool all = true;
  const auto time = [&](const char* kind, auto&& call) {
    all &= Attempt(kind, [&] {
      Seconds(std::min<long>(calls / 10, 1000), call);  // warm-up
      Report(kind, calls, Seconds(calls, call));
    });
  };
  const std::string status = "50% Bearbeite Zeile: " + kMixedRecords[0];
  time("Application put 9 Str (status text)",
       [&](long) { run.Application.Put(9, host::Str(status)); });
  time("PointData put 1 R8", [&](long i) { run.PointData.Put(1, host::R8(0.5 * i)); });
  time("PointData call 7 R8 R8 R8",
       [&](long i) { run.PointData.Call(7, host::R8(i), host::R8(-0.25), host::R8(1e3)); });

  // One feature command whose FeatureData takes the point data again and again.
  Value code = host::I4(603);
  run.Cmd = host::AsObject(run.CMDS.Call(8, host::ByRef(code), host::Bool(true)));
  run.FeatureData = host::AsObject(run.Cmd.Get(9));
  time("FeatureData call 60 ByRef Obj,I4,I4,I4,Str,I4", [&](long) {
    Value point = host::Obj(run.PointData.ptr());
    run.FeatureData.Call(60, host::ByRef(point), host::I4(0), host::I4(100), host::I4(13),
                         host::Str(""), host::I4(0));
  });

  for (const auto& [kind, sample] :
       {std::pair{"PT record (SplitFields + DispatchRecord)", &kPointRecords},
        std::pair{"mixed records (16 types, as in bench/)", &kMixedRecords}}) {
    all &= Attempt(kind, [&] { TimeRecords(run, kind, *sample, records); });
  }
  return all ? 0 : 1;
}

long Number(const char* text) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || n <= 0) {
    std::fprintf(stderr, "not a positive number: %s\n", text);
    std::exit(2);
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  bool localServer = false;
  long calls = 200'000, records = 20'000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--local-server") == 0) {
      localServer = true;
    } else if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc) {
      calls = Number(argv[++i]);
    } else if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = Number(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--local-server] [--calls N] [--records N]\n", argv[0]);
      return 2;
    }
  }
  try {
    std::unique_ptr<host::Automation> automation;
    if (localServer) {
      automation = std::make_unique<LocalServerAutomation>();
    } else {
      automation = host::MakeComAutomation();
    }
    std::printf("%s, %ld calls a kind, %ld records\n",
                localServer ? "out of process (CLSCTX_LOCAL_SERVER)" : "client's own context",
                calls, records);
    return Bench(*automation, calls, records);
  } catch (const host::Error& e) {
    std::fprintf(stderr, "error %d: %s\n", e.number(), e.text().c_str());
    return 1;
  }
}
