#include "app/implementations.h"

#include "conversion/connection.h"

namespace traskel {

HostWrappers WrapHost(host::Automation& own, CallLogFile* log, UserInterface& ui,
                      host::BusyWait wait) {
  HostWrappers wrappers;
  if (log != nullptr) wrappers.log = log->Logging(own, ui);
  wrappers.wait = host::WaitingOutBusyHost(wrappers.log ? *wrappers.log : own, wait,
                                           AskWhetherToWaitForHost(ui));
  return wrappers;
}

}  // namespace traskel
