#include "engine/conversion_pass.h"

#include <cmath>

#include "engine/run_error.h"

namespace skorvatin {

void PB(bool& flag) {
  static_cast<void>(flag);
}

std::int32_t ProgressStepWidth(float trackWidth) {
  const double quotient = static_cast<double>(trackWidth) / 100.0;
  // Spelled out rather than left to nearbyint, whose result would follow whatever rounding mode
  // the floating-point environment happens to be in.
  double rounded = std::floor(quotient);
  const double fraction = quotient - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw RunError(err::Overflow);
  return static_cast<std::int32_t>(rounded);
}

namespace {

std::int32_t checkedFillWidth(std::int32_t i, std::int32_t stepWidth) {
  std::int32_t k = 0;
  std::int32_t width = 0;
  if (__builtin_add_overflow(i, 1, &k) || __builtin_mul_overflow(k, stepWidth, &width)) {
    throw RunError(err::Overflow);
  }
  return width;
}

}  // namespace

void ConversionPass(FileList& list, RenameService& renamer, ConversionPassView& view, const EventPump& pump,
                    const NameTransform& transform) {
  bool on = true;
  PB(on);
  view.SetButtonEnabled(false);
  const std::string path = list.Path();
  const std::int32_t stepWidth = ProgressStepWidth(view.Pb1Width());
  const std::string prefix = FolderPrefix(path);

  // The count is 16-bit and never negative, so count - 1 stays within 16 bits; the loop runs in 32.
  const std::int16_t count = list.ListCount();
  const auto lastIndex = static_cast<std::int16_t>(count - 1);
  const std::int32_t limit = lastIndex;

  // No events run inside the loop: nothing the user does can change the options or the list
  // between two files, so every file of one pass gets the same transformation.
  for (std::int32_t i = 0; i <= limit; ++i) {
    view.SetPb2Width(static_cast<float>(checkedFillWidth(i, stepWidth)));
    const std::string& name = list.List(static_cast<std::int16_t>(i));
    const std::string oldPath = prefix + name;
    const std::string newPath = prefix + transform(name);
    renamer.Rename(oldPath, newPath);
  }

  pump();
  File_Refresh(list, pump);
  view.SetButtonEnabled(true);
  view.SetButtonFocus();
  bool off = false;
  PB(off);
}

}  // namespace skorvatin
