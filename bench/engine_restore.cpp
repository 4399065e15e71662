#include <stdexcept>
#include <string>
#include <vector>

#include "bench/engine_contenders.h"

namespace skorvatin::bench {

BatchId newestBatch(JournalStore& journal, const std::string& folder) {
  const std::vector<FinishedBatch> history = journal.history();
  if (history.empty() || history.front().folderPath != folder) {
    throw std::runtime_error("undo: the newest batch of the history is not the run in " + folder);
  }
  return history.front().id;
}

BatchId pendingBatch(JournalStore& journal, FolderService& folders, const std::string& folder) {
  const std::vector<PendingRestore> pending = pendingRestores(journal, folders);
  if (pending.size() != 1 || !pending.front().trusted || !pending.front().away.empty() ||
      pending.front().folderPath != folder) {
    throw std::runtime_error("recovery: the start does not ask about the run cut off in " + folder);
  }
  return pending.front().id;
}

RestoreReport engineUndo(FileList& list, JournalStore& journal, BatchId id) {
  return undoBatch(
      journal, list, [] {}, id);
}

RestoreReport engineRecovery(FileList& list, JournalStore& journal, BatchId id) {
  return recoverBatch(
      journal, list, [] {}, id);
}

}  // namespace skorvatin::bench
