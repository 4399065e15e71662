#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/file_list.h"
#include "engine/services.h"

namespace skorvatin {

// What the conversion pass needs of the window: the progress track and fill (widths in twips, as
// single-precision numbers) and the button that started the pass.
class ConversionPassView {
 public:
  virtual ~ConversionPassView() = default;
  virtual float Pb1Width() = 0;
  virtual void SetPb2Width(float width) = 0;
  virtual void SetButtonEnabled(bool enabled) = 0;
  virtual void SetButtonFocus() = 0;
};

// One file name in, its new name out (Litery or Litery2 with the options of the moment).
using NameTransform = std::function<std::string(const std::string&)>;

// The pass behind "Zmień plikom wielkość liter" and "Inne zamiany". Throws RunError when a step fails.
// Every listed file is renamed once, in list order, also when its name comes back unchanged. A
// failure stops the pass at that file with the button left disabled: the files before it keep their
// new names, it and the ones after it their old names, and the list is not re-read.
void ConversionPass(FileList& list, RenameService& renamer, ConversionPassView& view, const EventPump& pump,
                    const NameTransform& transform);

// The progress hook the pass calls first with true and last with false. It does nothing; it is kept
// as the one place where a visible progress display would be switched on and off.
void PB(bool& flag);

// The fill's advance per file: the track's width divided by 100, rounded to the nearest integer with
// halves going to the even one (61 for a track of 6135). Error 6 when it does not fit 32 bits.
std::int32_t ProgressStepWidth(float trackWidth);

}  // namespace skorvatin
