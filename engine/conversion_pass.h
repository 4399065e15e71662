#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/event_pump.h"
#include "engine/file_list.h"
#include "engine/journal.h"

namespace skorvatin {

// What the conversion pass needs of the window: the progress track and fill (widths in twips, as
// single-precision numbers) and the button that started the pass.
class ConversionPassView {
 public:
  virtual ~ConversionPassView() = default;
  virtual float trackWidth() = 0;              // `pb1`'s width
  virtual void setFillWidth(float width) = 0;  // `pb2`'s width
  virtual void setButtonEnabled(bool enabled) = 0;
  virtual void focusButton() = 0;
};

// One file name in, its new name out (Litery or Litery2 with the options of the moment).
using NameTransform = std::function<std::string(const std::string&)>;

// The pass behind "Zmień plikom wielkość liter" and "Inne zamiany": every listed file is renamed
// once, in list order, also when its name comes back unchanged, with the button disabled meanwhile.
// A listed file that is gone stops the pass before its first rename (error 53, naming the file).
// A failure stops the pass at that file: the files before it keep their new names, it and the ones
// after it their old names; the list is re-read once, the button is enabled again, and the error
// is thrown for the window to report. With a journal, the plan is durable before the first rename,
// and the pass is marked done, or stopped after so many files, once the names are on the disk.
void runConversionPass(FileList& list, ConversionPassView& view, const EventPump& pump,
                       const NameTransform& transform, JournalStore* journal = nullptr);

// The fill's advance per file: the track's width divided by 100, rounded to the nearest integer with
// halves going to the even one (61 for a track of 6135). Error 6 when it does not fit 32 bits.
std::int32_t progressStepWidth(float trackWidth);

}  // namespace skorvatin
