#pragma once

#include "engine/run_error.h"

namespace skorvatin::testing {

// The number of the error that `call` stops with; 0 when it goes through.
template <class Call>
int errorNumberOf(Call&& call) {
  try {
    call();
  } catch (const RunError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace skorvatin::testing
