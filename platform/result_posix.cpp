#include <cerrno>
#include <cstring>

#include "platform/result.h"

namespace traskel {

// The one place an errno value becomes a kind.
Failure SystemFailure(long code) {
  return {code, std::strerror(static_cast<int>(code)),
          code == ENOENT ? FailureKind::NotFound : FailureKind::Io};
}

}  // namespace traskel
