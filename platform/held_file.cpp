#include "platform/held_file.h"

namespace traskel {

Failure HeldFileRefusal(long code) {
  switch (code) {
    case kHeldFileIsLink:
      return {code, "ist eine Verknüpfung"};
    case kHeldFileHasOtherNames:
      return {code, "ist eine weitere Verknüpfung einer anderen Datei"};
    case kHeldFileNotRegular:
    default:
      return {code, "ist keine gewöhnliche Datei"};
  }
}

}  // namespace traskel
