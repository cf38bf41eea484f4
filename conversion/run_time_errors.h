// What the user reads after "Laufzeitfehler 'N':" for an error that ended
// the run: German for every number the program raises itself.
#pragma once

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

// The run-time error of a file operation that failed: the error `number`,
// with the text it is raised with, carrying the system's failure for the
// message. Every failure of a file the conversion reads becomes one here.
class FileError : public host::Error {
 public:
  FileError(int number, Failure failure);
  const Failure& failure() const { return failure_; }

 private:
  Failure failure_;
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
