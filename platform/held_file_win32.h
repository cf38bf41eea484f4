// What the Windows held file decides from a file's attributes, open to tests:
// wine can't make the reparse points it refuses.
#pragma once

#include "platform/held_file.h"

namespace traskel {

// The code of the refusal (kHeldFileIsLink and the like), or 0 for a file
// that may be held. attributes: FILE_ATTRIBUTE_*; links: the number of
// names; fileType: GetFileType's FILE_TYPE_*.
long ClassifyHeldFile(unsigned long attributes, unsigned long links, unsigned long fileType);

}  // namespace traskel
