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
#include "bench/sample_records.h"
#include "conversion/conversion.h"
#include "conversion/run.h"
#include "host/value.h"
#include "platform/user_interface.h"

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
  Answer AskRetryOrCancel(const std::string&, const std::string&, Icon) override {
    return Answer::Cancel;
  }
  Answer AskYesNoCancel(const std::string&, const std::string&, Icon) override {
    return Answer::Cancel;
  }
  std::int64_t lines = 0;
};

struct Bed {
  SilentUi ui;
  NullAutomation automation;
  SystemFileSystem files;
  StopSource stop;  // never requested
  Platform platform{ui, automation, NumberFormat{}, files, stop};
};

using bench::SampleRecords;

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
  for (auto _ : state) {
    state.PauseTiming();
    Bed bed;
    Run run(bed.platform);
    run.ImportFile = path;
    if (const Result<void> written = WriteNormalisedCopy(bed.files, path, copy, run.copy, bed.stop);
        !written) {
      state.SkipWithError(written.failure().reason.c_str());
    }
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
  const auto start = std::chrono::steady_clock::now();
  if (const Result<void> written =
          WriteNormalisedCopy(bed.files, file, CopyPathFor(file), run.copy, bed.stop);
      !written) {
    std::fprintf(stderr, "%s\n", written.failure().reason.c_str());
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
