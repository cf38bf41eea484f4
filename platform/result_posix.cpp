#include <cerrno>
#include <cstring>

#include "platform/result.h"

namespace traskel {

namespace {

// The one place an errno value becomes a kind.
FailureKind KindOf(long code) {
  return code == ENOENT ? FailureKind::NotFound : FailureKind::Io;
}

}  // namespace

Failure SystemFailure(long code) {
  return {code, std::strerror(static_cast<int>(code)), KindOf(code)};
}

}  // namespace traskel
