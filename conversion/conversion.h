// The conversion of one export into commands of the open measurement program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/run.h"

namespace traskel {

// The export's header: its first lines become comments, the rest records.
inline constexpr std::int64_t kHeaderLines = 10;

enum class RunOutcome { Converted, NotConnected };

// Connects, walks the held copy line by line and deletes it at the end.
// Errors travel up; the copy and the commands added so far then stay.
RunOutcome RunConversion(Run& run);

// Hears of every line the driver's loop has handed on. With one, a line
// whose conversion fails ends nothing: the watcher is told, and the loop
// goes on with the next line.
class LineWatcher {
 public:
  virtual ~LineWatcher() = default;
  // After the line at run.lineNumber; `failed` is the error that ended its
  // conversion, or null. A failed record line is counted as taken.
  virtual void Handled(const Run& run, const host::Error* failed) = 0;
};

// The driver's loop: converts `length` bytes of normalised text from `text`,
// read in `encoding`, line by line into the connected host. Text that ends
// before its length is the path/file access error, with run.shortRead set.
void ConvertText(Run& run, ByteSource& text, std::uint64_t length, TextEncoding encoding,
                 LineWatcher* watcher = nullptr);

// Cuts a record into fresh fields: all 81 start empty, each comma ends one,
// the text after the last comma is one too, fields past the last are dropped.
void SplitFields(FieldArray& fields, std::string_view line);

// Routes a split record by its type key; false when the key is none it knows.
bool DispatchRecord(Run& run, const std::string& line);

// The type keys DispatchRecord knows, in the order it tries them.
const std::vector<std::string_view>& RecordKeys();

// Adds one comment command holding the text.
void AddComment(Run& run, const std::string& text);

// Leading and trailing spaces removed; tabs stay.
std::string_view TrimSpaces(std::string_view s);

}  // namespace traskel
