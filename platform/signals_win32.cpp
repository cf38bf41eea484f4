#include "platform/signals.h"

namespace traskel {

// Windows raises no signal for a failed write; the write just fails.
void LetFailedWritesReturn() {}

// A program with windows gets no console signals; its window's button stops
// a task.
SignalsAskToStop::SignalsAskToStop(StopSource&) {}
SignalsAskToStop::~SignalsAskToStop() {}

}  // namespace traskel
