// What the user reads after "Laufzeitfehler 'N':" for an error that ended
// the run: German for every number the program raises itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/value.h"
#include "platform/result.h"

namespace traskel {

// Error numbers the run raises itself, beside those of automation values
// and calls (host/value.h).
inline constexpr int kInternalError = 51;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIoError = 57;
inline constexpr int kPathFileAccessError = 75;

// An error that ended the conversion, with where it happened and what its
// number alone does not say: every error of the run reaches the top as one.
struct RunError : host::Error {
  // An error as raised, not yet placed.
  explicit RunError(const host::Error& raised);
  // The run-time error of a file operation that failed: the error `number`,
  // with the text it is raised with, and the system's failure.
  RunError(int number, Failure failure);
  // The error, as the RunError it is or as a new one.
  static RunError Of(const host::Error& e);

  std::int64_t lineNumber = 0;  // the line it ended, and its text; 0 for none
  std::string line;
  std::optional<int> field;  // the field whose text was no number, and that text
  std::string fieldText;
  std::optional<Failure> failure;  // of the file operation that failed
  std::string detail;              // such as the file and the system's reason
  // The bytes a copy cut short gave before its end.
  std::optional<std::uint64_t> shortRead;
};

// The German text of a number the program raises itself; null for any other
// number (an operating-system or COM code, or one a host chose).
const char* OwnErrorText(int number);

// The text shown for an error raised with raisedText. An automation error
// keeps the host's own text on a line after its German text, since only the
// host knows what went wrong; a number of the program's own gives its German
// text alone; any other number keeps raisedText, the system's message for it.
// Lines are separated by CR LF, as in message boxes.
std::string RunTimeErrorText(int number, const std::string& raisedText);

}  // namespace traskel
