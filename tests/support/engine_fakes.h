#pragma once

// The window's side of the engine's operations, for tests and tools that run them without a window.

#include <string>
#include <vector>

#include "engine/conversion_pass.h"
#include "engine/numbering_run.h"

namespace skorvatin::testing {

// The numbering options, with the window's defaults: start 1, step 1, prefix "Plik", nothing after
// the number, no leading zeros, a Polish decimal comma.
struct FakeNumberingOptions : NumberingOptions {
  std::string start = "1";
  std::string step = "1";
  std::string prefix = "Plik";
  std::string after;
  int check1 = 0;
  std::string separator = ",";

  std::string Text1() override { return start; }
  std::string Text2() override { return step; }
  std::string Text3() override { return prefix; }
  std::string Text5() override { return after; }
  int Check1Value() override { return check1; }
  std::string decimalSeparator() override { return separator; }
};

// A conversion pass's view that nobody looks at, but which remembers what the pass did to it.
struct SilentPassView : ConversionPassView {
  float track = 6135.0F;
  float fill = 135.0F;
  bool enabled = true;
  std::vector<float> fills;

  float trackWidth() override { return track; }
  void setFillWidth(float width) override {
    fill = width;
    fills.push_back(width);
  }
  void setButtonEnabled(bool on) override { enabled = on; }
  void focusButton() override {}
};

}  // namespace skorvatin::testing
