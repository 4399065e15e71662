#include "engine/conversion_pass.h"

#include <cmath>
#include <memory>
#include <optional>

#include "engine/checked.h"
#include "engine/folder.h"
#include "engine/number_text.h"
#include "engine/run_error.h"

namespace skorvatin {

std::int32_t progressStepWidth(float trackWidth) {
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

void renameAll(FileList& list, ConversionPassView& view, const NameTransform& transform) {
  const std::int32_t stepWidth = progressStepWidth(view.trackWidth());
  const std::unique_ptr<Folder> folder = list.folders().open(list.Path());

  // The count is 16-bit and never negative, so count - 1 stays within 16 bits; the loop runs in 32.
  const std::int32_t limit = checked::sub(list.ListCount(), 1);

  // No events run inside the loop: nothing the user does can change the options or the list
  // between two files, so every file of one pass gets the same transformation.
  for (std::int32_t i = 0; i <= limit; ++i) {
    view.setFillWidth(static_cast<float>(checked::mul(checked::add(i, 1), stepWidth)));
    const std::string& name = list.List(static_cast<std::int16_t>(i));
    folder->rename(name, transform(name));
  }
}

}  // namespace

void runConversionPass(FileList& list, ConversionPassView& view, const EventPump& pump,
                       const NameTransform& transform) {
  view.setButtonEnabled(false);
  std::optional<RunError> error;
  try {
    renameAll(list, view, transform);
    if (pump) pump();
  } catch (const RunError& e) {
    error = e;
  }
  // Done or stopped, the list shows the folder as the pass left it, and the button works again.
  try {
    File_Refresh(list, pump);
  } catch (const RunError& reRead) {
    error = error ? withLaterFailure(*error, reRead) : reRead;
  }
  view.setButtonEnabled(true);
  if (error) throw *error;
  view.focusButton();
}

}  // namespace skorvatin
