#pragma once

#include "engine/run_error.h"

namespace skorvatin::testing {

// The error that `call` stops with; one numbered 0 when it goes through.
template <class Call>
RunError errorOf(Call&& call) {
  try {
    call();
  } catch (const RunError& e) {
    return e;
  }
  return RunError(0);
}

// The number of the error that `call` stops with; 0 when it goes through.
template <class Call>
int errorNumberOf(Call&& call) {
  return errorOf(call).number();
}

}  // namespace skorvatin::testing
