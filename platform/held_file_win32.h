// What the Windows held file decides from a file's attributes, open to tests:
// wine can't make the reparse points it refuses.
#pragma once

#include <optional>

#include "platform/result.h"

namespace traskel {

// The kind of the refusal (FailureKind::Link and the like), or none for a
// file that may be held. attributes: FILE_ATTRIBUTE_*; links: the number of
// names; fileType: GetFileType's FILE_TYPE_*.
std::optional<FailureKind> ClassifyHeldFile(unsigned long attributes, unsigned long links,
                                            unsigned long fileType);

}  // namespace traskel
