#include "app/implementations.h"
#include "quorvex_sim/sim_host.h"

namespace traskel {

Implementations ChooseImplementations() {
  return {MakeSystemUserInterface(), MakeSystemSettingsStore(),
          std::make_unique<quorvex_sim::SimHost>(quorvex_sim::Options::FromEnvironment()),
          UserNumberFormat()};
}

}  // namespace traskel
