// The state of one run: what the program keeps from start to end, and the
// platform services it talks to. Handed to every step; nothing is global, so
// runs can go on side by side.
#pragma once

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/fingerprint.h"
#include "host/busy.h"
#include "host/call_watch.h"
#include "host/value.h"
#include "platform/held_file.h"
#include "platform/locale.h"
#include "platform/stop.h"
#include "platform/text.h"

namespace traskel {

class FileSystem;
class UserInterface;

inline constexpr int kFieldCount = 81;
using FieldArray = std::array<std::string, kFieldCount>;

// What the run talks to.
struct Platform {
  UserInterface& ui;
  host::Automation& automation;
  NumberFormat numbers;
  FileSystem& files;  // every file of the run is opened, made and removed here
  // Asked between records, and before the first host call, whether the user
  // wants the run to stop.
  const StopSource& stop;
  // The clock a long run's progress is timed by; a test may set its own.
  std::chrono::steady_clock::time_point (*now)() = std::chrono::steady_clock::now;
  // What the calls to the host waited for it while it was busy, when known.
  const host::CallWatch* watch = nullptr;
};

// The normalised copy the conversion reads, held by the run from its
// creation to its deletion.
struct HeldCopy {
  std::unique_ptr<HeldFile> file;
  std::uint64_t length = 0;                    // bytes written; no more are read
  TextEncoding encoding = TextEncoding::Utf8;  // decided once over the whole export
  std::int64_t lines = 0;                      // as the conversion counts them
};

// How a long run shows its progress: not before it has lasted a second,
// then at most ten times a second.
struct ProgressTimes {
  std::chrono::steady_clock::time_point start;  // when the first line to convert began
  std::chrono::steady_clock::time_point next;   // not shown again before
};

// A record line the conversion did not take over.
struct SkippedLine {
  std::int64_t number = 0;
  std::string text;
  std::string_view meant;  // the known key its key is in other letter case, or empty
};

inline constexpr std::size_t kShownSkipped = 10;

// What became of the record lines, those after the header.
struct RecordTally {
  std::int64_t records = 0;               // record lines that are not empty
  std::int64_t skipped = 0;               // of those, the ones whose type key is unknown
  std::vector<SkippedLine> firstSkipped;  // the first kShownSkipped of them
  bool keyWithSemicolon = false;          // a skipped line's key holds a ';'
  bool keyWithTab = false;                // ... or a tab after its first character
  std::int64_t firstTabbed = 0;           // the first skipped line that begins with a tab

  // Every record line taken over, and at least one there.
  bool AllTaken() const { return records > 0 && skipped == 0; }
  // The record lines whose commands went into the host.
  std::int64_t Taken() const { return records - skipped; }
};

struct Run {
  explicit Run(Platform& p) : platform(p) {}

  Platform& platform;

  // ImportFile, ImportDir, Fields and the host objects below keep their
  // established names, known to users, support notes and scripts.
  std::string ImportFile;  // the chosen export, full path
  std::string ImportDir;   // where the file dialog opens; empty: its default
  FieldArray Fields;       // the current record, cut at its commas
  // The fields of the current record its feature's steps have read, its key
  // aside: none for a record that is no feature.
  std::bitset<kFieldCount> fieldsRead;

  host::Ref Application;
  host::Ref PointData;  // carries numbers into FeatureData; the host may replace it
  host::Ref MeasurementProgram;
  host::Ref CMDS;         // the measurement program's command list
  host::Ref Cmd;          // the command added last
  host::Ref FeatureData;  // the feature part of the last feature command

  HeldCopy copy;
  RecordTally tally;

  // The first line to convert; a run that continues an earlier one reads
  // the lines before it without sending anything for them.
  std::int64_t firstLine = 1;
  std::int64_t lineCount = 0;  // of the text converted
  // The lines whose commands are all in the host (a check: the lines it
  // went through), counting those before firstLine.
  std::int64_t linesDone = 0;
  // Of the lines up to linesDone, as they passed.
  LinesFingerprint passed;
  // The record lines before firstLine whose commands an earlier run sent.
  std::int64_t takenBefore = 0;
  // The line whose record added Cmd; 0 when it was there before the run.
  std::int64_t cmdLine = 0;
  // The line whose record last asked the host to add a command: should that
  // call never return, the command may be there or not.
  std::int64_t addingLine = 0;
  ProgressTimes progress;

  // Where the conversion stands.
  std::int64_t lineNumber = 0;
  std::string line;
};

// The normalised copy the conversion reads: the export's name with "conf"
// appended, beside it.
inline std::string CopyPathFor(const std::string& importFile) {
  return importFile + "conf";
}

}  // namespace traskel
