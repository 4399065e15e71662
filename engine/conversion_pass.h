#pragma once

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
void ConversionPass(FileList& list, RenameService& renamer, ConversionPassView& view, const EventPump& pump,
                    const NameTransform& transform);

}  // namespace skorvatin
