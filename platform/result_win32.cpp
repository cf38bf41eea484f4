#include <windows.h>

#include "platform/result.h"
#include "platform/wide_text_win32.h"

namespace traskel {

// The one place a Win32 error or an HRESULT becomes a kind.
Failure SystemFailure(long code) {
  const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
  return {code, SystemErrorText(static_cast<unsigned long>(code)),
          missing ? FailureKind::NotFound : FailureKind::Io};
}

}  // namespace traskel
