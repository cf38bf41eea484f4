#include <windows.h>

#include "platform/result.h"
#include "platform/wide_text_win32.h"

namespace traskel {

namespace {

// The one place a Win32 error or an HRESULT becomes a kind.
FailureKind KindOf(long code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FailureKind::NotFound
                                                                      : FailureKind::Io;
}

}  // namespace

Failure SystemFailure(long code) {
  return {code, SystemErrorText(static_cast<unsigned long>(code)), KindOf(code)};
}

}  // namespace traskel
