// The registered simulated host as one test sees it: the environment it
// reads when the first object of a process is made (the program form: when
// it starts, from the environment it inherits), and the trace it writes.
#pragma once

#include <stdlib.h>

#include <string>
#include <vector>

#include "support/test_bed.h"

namespace traskel::testing {

class SimSession {
 public:
  SimSession() {
    for (const char* name : kVariables) Set(name, "");
    Set("QUORVEX_SIM_TRACE", trace);
  }
  ~SimSession() {
    for (const char* name : kVariables) Set(name, "");
  }
  SimSession(const SimSession&) = delete;
  SimSession& operator=(const SimSession&) = delete;

  // Takes effect for the next host: objects of the last one must be gone.
  static void Set(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

  std::vector<std::string> Trace() const { return LinesOf(ReadAll(trace)); }

  TempFolder folder;
  const std::string trace = folder.File("trace.txt");

 private:
  static constexpr const char* kVariables[] = {
      "QUORVEX_SIM_TRACE",   "QUORVEX_SIM_STATE",
      "QUORVEX_SIM_FAIL_AT", "QUORVEX_SIM_HAND_BACK_POINT_DATA",
      "QUORVEX_SIM_BUSY",    "QUORVEX_SIM_DELAY",
      "QUORVEX_SIM_EXIT_AT"};
};

}  // namespace traskel::testing
