#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/batch_restore.h"
#include "engine/file_list.h"
#include "engine/journal.h"

namespace skorvatin::bench {

// The engine's own operations, driven the way the window drives them but without a window: the
// options hold the window's defaults, the event pump does nothing, renames go through the
// program's folder service, and the journal, when one is given, is kept as the window keeps it.
void engineNumbering(FileList& list, bool leadingZeros, JournalStore* journal = nullptr);

// A numbering run (defaults, journal kept) over every file of `folder`, cut off after `renames`
// renames as a kill cuts it: the next rename throws an exception that is no RunError, which the run
// lets through without taking anything back or writing its end record. Throws when the run ended
// otherwise. The journal still holds the batch as running until the store is restarted.
void engineNumberingCutOff(const std::string& folder, JournalStore& journal, std::size_t renames);

// The batch Ctrl+Z undoes: the newest of the history, which must be a batch of `folder`.
BatchId newestBatch(JournalStore& journal, const std::string& folder);
// The batch the start-up asks about: the one unfinished batch, which must be in `folder`.
BatchId pendingBatch(JournalStore& journal, FolderService& folders, const std::string& folder);

// Ctrl+Z and the start-up's "Tak" once the batch is known, as the window calls them.
RestoreReport engineUndo(FileList& list, JournalStore& journal, BatchId id);
RestoreReport engineRecovery(FileList& list, JournalStore& journal, BatchId id);

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
  // A store of its own over the same folder, as the program's next start opens it: the locks the
  // old one held on batches it was running go with it, as a killed process's do.
  void restart();

 private:
  std::string path_;
  std::unique_ptr<JournalStore> store_;
};

}  // namespace skorvatin::bench
