#include <cstring>

#include "platform/result.h"

namespace traskel {

Failure SystemFailure(long code) {
  return {code, std::strerror(static_cast<int>(code))};
}

}  // namespace traskel
