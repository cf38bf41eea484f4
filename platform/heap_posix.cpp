#include "platform/heap.h"

#include <malloc.h>

namespace traskel {

void ShareOneHeap() {
  // Only a hint: without it the program is slower, not wrong.
  mallopt(M_ARENA_MAX, 1);
}

}  // namespace traskel
