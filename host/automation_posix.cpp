#include "host/automation_factory.h"
#include "quorvex_sim/sim_host.h"

namespace traskel::host {

std::unique_ptr<Automation> MakeAutomation() {
  return std::make_unique<quorvex_sim::SimHost>(quorvex_sim::Options::FromEnvironment());
}

}  // namespace traskel::host
