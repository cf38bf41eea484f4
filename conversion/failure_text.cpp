#include "conversion/failure_text.h"

namespace traskel {

std::string FailureText(const Failure& failure) {
  switch (failure.kind) {
    case FailureKind::NotRegular:
      return "es ist keine gewöhnliche Datei";
    case FailureKind::NameMoved:
      return "der Name führt inzwischen zu einer anderen Datei";
    case FailureKind::NameUnsteady:
      return "der Name wechselt ständig die Datei";
    case FailureKind::TooLarge:
      return "die Datei ist länger als 1 MiB";
    default:
      return failure.reason;
  }
}

}  // namespace traskel
