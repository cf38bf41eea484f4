// The error a host call raises, for tests that expect one.
#pragma once

#include <gtest/gtest.h>

#include <utility>

#include "host/value.h"

namespace traskel::testing {

// The error f raises; a test failure, and an error numbered 0, when none.
template <typename F>
host::Error ErrorOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const host::Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return host::Error(0, "");
}

template <typename F>
int ErrorNumberOf(F&& f) {
  return ErrorOf(std::forward<F>(f)).number();
}

}  // namespace traskel::testing
