// How the process meets the signals a failed write raises.
#pragma once

namespace traskel {

// A write past the file-size limit, or into a pipe that no one reads any
// more, then fails with its error (EFBIG, EPIPE) instead of ending the
// process without a word: each writer says what failed and cleans up after
// itself. Called first, before anything is written.
void LetFailedWritesReturn();

}  // namespace traskel
