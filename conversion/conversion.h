// The conversion of one export into commands of the open measurement program.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/run.h"
#include "conversion/run_time_errors.h"

namespace traskel {

// The export's header: its first lines become comments, the rest records.
inline constexpr std::int64_t kHeaderLines = 10;

enum class RunOutcome {
  Converted,     // every line, the copy deleted
  NotConnected,  // nothing converted
  NotStarted,    // the user asked to stop before the first line was sent; the copy is held
  Stopped,       // the user asked to stop after run.linesDone; the copy is still held
  // The user stopped it while a host call did not return, and it was given
  // up on there, in the line after run.linesDone; the copy is still held.
  // Not RunConversion's own: a caller that runs it elsewhere tells it.
  GivenUp,
};

// Connects, walks the held copy line by line from run.firstLine, says in the
// host's status text that it is done, and deletes the copy. Errors travel
// up; the copy and the commands added so far then stay. Once every line is
// whole, run.linesDone is run.lineCount: an error after that ended no line.
RunOutcome RunConversion(Run& run);

// Deletes the held copy; the user is told when that fails.
void DeleteCopy(Run& run);

// "Fertig: N Datenzeilen übernommen.", N the record lines taken over in the
// whole text; "Fertig: Zeilen F bis M (N Datenzeilen) übernommen." for a run
// that began at line F, N those it took over. With the time since the first
// line to convert began when asked, for the progress window, which names the
// lines too: "Fertig: alle M Zeilen (N Datenzeilen) in m:ss übernommen."
std::string FinishedText(const Run& run, bool withTime);

// "m:ss", the minutes as many as there are.
std::string MinutesSeconds(long long seconds);
// The same of a time's whole seconds.
std::string MinutesSeconds(std::chrono::steady_clock::duration time);

// The file's name without its folder.
std::string FileNameOf(const std::string& path);

// Puts text into the host's status text, where the user watched the
// progress, to say how a run that ended part-way ended; a host that fails
// to take it changes nothing.
void PutEndStatus(Run& run, const std::string& text);

// A path as a message shows it: a control character in it, such as a line
// break a file's name may hold, is escaped, so that it can't make a line of
// its own.
std::string Shown(std::string_view path);

// Hears of every line the driver's loop has handed on. With one, a line
// whose conversion fails ends nothing: the watcher is told, and the loop
// goes on with the next line.
class LineWatcher {
 public:
  virtual ~LineWatcher() = default;
  // After the line at run.lineNumber; `failed` is the error that ended its
  // conversion, or null. A failed record line is counted as taken. A line
  // before the first to convert is told too, split, with no field read.
  virtual void Handled(const Run& run, const RunError* failed) = 0;
};

enum class LoopEnd { Whole, Stopped };

// The driver's loop: converts `length` bytes of normalised text from `text`,
// `lines` lines read in `encoding`, line by line into the connected host.
// Lines before run.firstLine are read and counted, and the watcher hears of
// them, but nothing is sent for them. Once a run has lasted a second, the
// user interface is shown its progress. After each line but the last it
// asks whether the user wants to stop, and then ends early. run.passed
// fingerprints the lines as they are done. Text that ends
// before its length is the path/file access error, with its shortRead set.
// An error that ends the loop is a RunError that names its line.
LoopEnd ConvertText(Run& run, ByteSource& text, std::uint64_t length, TextEncoding encoding,
                    std::int64_t lines, LineWatcher* watcher = nullptr);

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
