#include "app/implementations.h"
#include "quorvex_sim/sim_host.h"

namespace traskel {

std::unique_ptr<host::Automation> MakeHost() {
  return std::make_unique<quorvex_sim::SimHost>(quorvex_sim::Options::FromEnvironment());
}

}  // namespace traskel
