// The normalised copy of the export: every line ends in CR LF.
#pragma once

#include <string>
#include <string_view>

namespace traskel {

// Rewrites line ends chunk by chunk: LF and CR LF both become CR LF, a last
// line without line feed is ended too, other CRs pass unchanged, and a UTF-8
// byte-order mark that opens the input is dropped.
class LineEndNormaliser {
 public:
  void Feed(std::string_view chunk, std::string& out);
  void Finish(std::string& out);

 private:
  bool started_ = false;    // past the possible byte-order mark
  std::string head_;        // first bytes held back until the mark is ruled out
  bool pendingCr_ = false;  // a CR read, not yet written
  bool lineOpen_ = false;   // bytes written since the last line end
  void Put(char c, std::string& out);
};

// Writes the normalised copy; false and a reason when it can't.
bool WriteNormalisedCopy(const std::string& source, const std::string& copy, std::string& error);

}  // namespace traskel
