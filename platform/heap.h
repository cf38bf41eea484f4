// How the process's threads get their memory.
#pragma once

namespace traskel {

// Every thread allocates from the one heap the program starts with. A
// thread that builds up much, such as one that hosts an embedded server,
// would otherwise get a heap of its own that grows a page at a time, with a
// system call each. Called before such a thread starts.
void ShareOneHeap();

}  // namespace traskel
