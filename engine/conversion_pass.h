#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "engine/event_pump.h"
#include "engine/file_list.h"
#include "engine/journal.h"

namespace skorvatin {

// What the conversion pass needs of the window: a progress display, told the count of files
// renamed so far, and the button that started the pass.
class ConversionPassView {
 public:
  virtual ~ConversionPassView() = default;
  // Before each rename: `done` files will have been renamed once this one is, of `total`.
  virtual void setProgress(std::size_t done, std::size_t total) = 0;
  virtual void setButtonEnabled(bool enabled) = 0;
  virtual void focusButton() = 0;
};

// One file name in, its new name out (changeCase or replaceCharacters with the mode of the moment).
using NameTransform = std::function<std::string(const std::string&)>;

// The pass behind "Zmień plikom wielkość liter" and "Inne zamiany": every listed file is renamed
// once, in list order, with the button disabled meanwhile. A name that comes back unchanged needs
// no rename, only the file found under it: with a journal the stamp read before the first rename
// finds it, without one it is looked up in its turn. A listed file that is gone stops the pass
// before its first rename (error 53, naming the file).
// A failure stops the pass at that file: the files before it keep their new names, it and the ones
// after it their old names; the list is re-read once, the button is enabled again, and the error
// is thrown for the window to report. With a journal, the plan is durable before the first rename,
// and the pass is marked done, or stopped after so many files, once the names are on the disk.
void runConversionPass(FileList& list, ConversionPassView& view, const EventPump& pump,
                       const NameTransform& transform, JournalStore* journal = nullptr);

}  // namespace skorvatin
