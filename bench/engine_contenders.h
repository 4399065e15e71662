#pragma once

#include <memory>
#include <string>

#include "engine/file_list.h"
#include "engine/journal.h"

namespace skorvatin::bench {

// The engine's own operations, driven the way the window drives them but without a window: the
// options hold the window's defaults, the event pump does nothing, renames go through the
// program's folder service, and the journal, when one is given, is kept as the window keeps it.
void engineNumbering(FileList& list, bool leadingZeros, JournalStore* journal = nullptr);

enum class EngineConversion { Lower, SpacesToUnderscores };
void engineConversion(FileList& list, EngineConversion how, JournalStore* journal = nullptr);

// A journal folder of the program's own kind beside the bench's folders under `root`, so that its
// writes and fsyncs cost what they cost on that file system; removed when the object goes.
class BenchJournal {
 public:
  explicit BenchJournal(const std::string& root);
  ~BenchJournal();
  BenchJournal(const BenchJournal&) = delete;
  BenchJournal& operator=(const BenchJournal&) = delete;
  JournalStore& store() { return *store_; }

 private:
  std::string path_;
  std::unique_ptr<JournalStore> store_;
};

}  // namespace skorvatin::bench
