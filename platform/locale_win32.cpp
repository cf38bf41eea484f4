#include <windows.h>

#include "platform/locale.h"
#include "platform/wide_text_win32.h"

namespace traskel {

NumberFormat UserNumberFormat() {
  NumberFormat format;
  wchar_t separator[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator,
                      LOCALE_NAME_MAX_LENGTH) > 1) {
    format.decimalSeparator = Utf8(separator);
  }
  return format;
}

}  // namespace traskel
