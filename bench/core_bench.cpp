// The conversion core against a host that does nothing: what the converter
// itself costs per record, without any host's model or trace.
//
//   core_bench [benchmark options]    records per second, in memory and from a file
//   core_bench --convert FILE          one run over FILE's copy, for peak memory
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/intake.h"
#include "app/settings.h"
#include "app/user_interface.h"
#include "conversion/conversion.h"
#include "conversion/run.h"
#include "host/value.h"

namespace {

using namespace traskel;
using host::Value;

// One object for every role: objects where objects are asked for, True where
// a Boolean is, nothing otherwise.
class NullObject : public host::Object, public std::enable_shared_from_this<NullObject> {
 public:
  Value Get(host::DispId) override { return host::Obj(shared_from_this()); }
  void Put(host::DispId, const Value&) override {}
  Value Call(host::DispId id, std::span<const host::Arg>) override {
    switch (id) {
      case 8:  // CMDS: a new command
        return host::Obj(shared_from_this());
      case 5:   // CMDS: selected
      case 60:  // FeatureData: point data taken
        return host::Bool(true);
      default:
        return Value();
    }
  }
};

class NullAutomation : public host::Automation {
 public:
  host::ObjectPtr CreateObject(const std::string&) override {
    return std::make_shared<NullObject>();
  }
};

class SilentUi : public UserInterface {
 public:
  void ShowMessage(const std::string&, const std::string&, Icon) override {}
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return {}; }
  void PumpEvents() override { ++lines; }  // once a line
  std::int64_t lines = 0;
};

class NoSettings : public SettingsStore {
 public:
  std::string ReadSetting(const std::string&) override { return {}; }
  bool WriteSetting(const std::string&, const std::string&, const std::string&) override {
    return true;
  }
};

struct Bed {
  SilentUi ui;
  NoSettings settings;
  NullAutomation automation;
  Platform platform{ui, settings, automation, NumberFormat{}};
};

// A small export in the generator's mix, made here so the benchmark needs no
// file: each record type with typical numbers.
std::vector<std::string> SampleRecords() {
  return {
      "PT,PKT_0000001,-9.68,50.37,69.412,1,0,0,,,,,,,,,,0.05,,",
      "BPT,KANTE_0000006,474.059,-173.51,-47.261,0,-1,0,,,,0.7071,0.7071,0,,,,0.05,,",
      "LN,LN_0000060,134.671,-166.193,26.045,0,0,1,,,,,,,,,,0.02,,",
      "PLN,PLN_0000015,-358.218,335.368,-39.846,0,-1,0,,,,,,,,,,0.1,,",
      "CIR,BOHR_0000005,460.402,-377.167,-52.593,0,0,-1,,26.76,,,,,INNER,,,0.02,,",
      "CIR,BOHR_0000007,12.5,-77.1,0,0,0,1,,8,,,,,,,,0.05,,",
      "SLT,NUT_0000003,-463.593,392.794,1.049,0,-1,0,ROUND,3.92,23.8,0,0,1,,,,0.02,,",
      "SLT,NUT_0000024,-26.633,173.241,-39.191,0,0,-1,FLAT,3.85,57.4,0.7071,0.7071,0,,,,0.2,,",
      "SLT,NUT_0000004,-372.047,156.274,92.795,0,1,0,,4.09,58.2,0,1,0,INNER,,,0.02,,1",
      "ELL,OVAL_0000097,1.542,229.043,63.891,0,-1,0,,10.98,6.52,0,0,1,INNER,,,0.01,,",
      "CLY,ZYL_0000023,67.305,-64.641,14.782,0,1,0,,28.55,75.3,,,,INNER,,,0.02,,",
      "SPH,KUGEL_0000032,-431.138,352.653,-41.019,0.7071,0.7071,0,,36.53,,,,,,,,0.2,,",
      "CON,KEGEL_0000034,430.048,2.87,4.048,1,0,0,,30.53,,,,,INNER,,,0.1,,",
      "HEX,SKT_0000052,-55.082,-171.917,0.848,0,-1,0,,17,,,,,INNER,,,0.05,,",
      "UDF,GEWINDE_0000056,475.525,-198.109,21.054,0,0,-1,M4x1,,,,,,INNER,,,0,,",
      "PT,PKT_0000002,120.5,0,0,0,0,1,,,,,,,,,,0.05,,",
  };
}

// Splitting and every builder, record after record, as the run does past the
// header.
void BM_DispatchRecords(benchmark::State& state) {
  Bed bed;
  Run run(bed.platform);
  run.Application = bed.automation.CreateObject("");
  run.PointData = bed.automation.CreateObject("");
  run.CMDS = bed.automation.CreateObject("");
  const auto records = SampleRecords();
  std::size_t n = 0;
  for (auto _ : state) {
    const std::string& line = records[n++ % records.size()];
    SplitFields(run.Fields, line);
    DispatchRecord(run, line);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DispatchRecords);

std::string WriteExport(std::size_t records) {
  const auto sample = SampleRecords();
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("traskel-bench-" + std::to_string(records) + ".csv"))
                               .string();
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < 10; ++i) out << "Kopf " << i << "\n";
  for (std::size_t i = 0; i < records; ++i) out << sample[i % sample.size()] << "\n";
  return path;
}

// The whole conversion from the copy on disk: reading, decoding, the status
// text of every line, splitting, dispatch.
void BM_RunConversion(benchmark::State& state) {
  const auto records = static_cast<std::size_t>(state.range(0));
  const std::string path = WriteExport(records);
  const std::string copy = CopyPathFor(path);
  std::string error;
  for (auto _ : state) {
    state.PauseTiming();
    if (!WriteNormalisedCopy(path, copy, error)) state.SkipWithError(error.c_str());
    Bed bed;
    Run run(bed.platform);
    run.ImportFile = path;
    state.ResumeTiming();
    RunConversion(run);
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * records));
}
BENCHMARK(BM_RunConversion)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// One run over FILE as the program makes it (copy, conversion), reporting
// records per second and the peak resident memory of the process.
int ConvertOnce(const std::string& file) {
  Bed bed;
  Run run(bed.platform);
  run.ImportFile = file;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  if (!WriteNormalisedCopy(file, CopyPathFor(file), error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  try {
    RunConversion(run);
  } catch (const host::Error& e) {
    std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(run.lineNumber),
                 e.text().c_str());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("lines %lld seconds %.3f peak_kb %ld\n", static_cast<long long>(bed.ui.lines),
              seconds, usage.ru_maxrss);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--convert") == 0) return ConvertOnce(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
