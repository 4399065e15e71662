#pragma once

// The window's side of the engine's operations, for tests and tools that run them without a window.

#include <cstddef>
#include <vector>

#include "engine/conversion_pass.h"

namespace skorvatin::testing {

// A conversion pass's view that nobody looks at, but which remembers what the pass told it.
struct SilentPassView : ConversionPassView {
  bool enabled = true;
  std::vector<std::size_t> progress;

  void setProgress(std::size_t done, std::size_t) override { progress.push_back(done); }
  void setButtonEnabled(bool on) override { enabled = on; }
  void focusButton() override {}
};

}  // namespace skorvatin::testing
