#include "platform/heap.h"

namespace traskel {

// The process heap serves every thread alike.
void ShareOneHeap() {}

}  // namespace traskel
