// The state of one run: what the program keeps from start to end, and the
// platform services it talks to. Handed to every step; nothing is global, so
// runs can go on side by side.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/busy.h"
#include "host/value.h"
#include "platform/held_file.h"
#include "platform/locale.h"
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
};

// The normalised copy the conversion reads, held by the run from its
// creation to its deletion.
struct HeldCopy {
  std::unique_ptr<HeldFile> file;
  std::uint64_t length = 0;                    // bytes written; no more are read
  TextEncoding encoding = TextEncoding::Utf8;  // decided once over the whole export
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

  // Where the conversion stands, so an error that ends it can name the line
  // and, when a field is no number, the field.
  std::int64_t lineNumber = 0;
  std::string line;
  std::optional<int> failedField;
  std::string failedFieldText;
  // Set when the copy ended before its length: the bytes it gave.
  std::optional<std::uint64_t> shortRead;
  // What an error's number alone does not say, such as the file and the
  // system's reason; shown under the error's text.
  std::string errorDetail;
};

// The normalised copy the conversion reads: the export's name with "conf"
// appended, beside it.
inline std::string CopyPathFor(const std::string& importFile) {
  return importFile + "conf";
}

}  // namespace traskel
