// Lines, planes, and type codes without steps of their own.
#include "conversion/feature.h"
#include "conversion/titles.h"
#include "platform/user_interface.h"

namespace traskel {

void BuildLineOrPlane(Run& run) {
  BuildPoint(run);
}

void ReportUnsupported(Run& run) {
  // An established text, trailing space included, known to users and support notes: it stays.
  run.platform.ui.ShowMessage("Not supported ", kAppTitle, Icon::None);
}

}  // namespace traskel
