#include <clocale>

#include "platform/locale.h"

namespace traskel {

NumberFormat UserNumberFormat() {
  NumberFormat format;
  if (const std::lconv* lc = std::localeconv(); lc && lc->decimal_point && *lc->decimal_point) {
    format.decimalSeparator = lc->decimal_point;
  }
  return format;
}

}  // namespace traskel
