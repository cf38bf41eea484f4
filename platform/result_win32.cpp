#include "platform/result.h"
#include "platform/wide_text_win32.h"

namespace traskel {

Failure SystemFailure(long code) {
  return {code, SystemErrorText(static_cast<unsigned long>(code))};
}

}  // namespace traskel
