#include "engine/journaled_batch.h"

#include <vector>

namespace skorvatin {

JournaledBatch::JournaledBatch(JournalStore* store, Folder& folder) : store_(store), folder_(folder) {}

JournaledBatch JournaledBatch::resume(JournalStore& store, Folder& folder, BatchId id) {
  JournaledBatch batch(&store, folder);
  batch.id_ = id;
  return batch;
}

void JournaledBatch::begin(const BatchPlan& plan) {
  if (store_ != nullptr) id_ = store_->begin(plan);
}

void JournaledBatch::finish(BatchEnd end) {
  if (!id_) return;
  folder_.sync();
  store_->finish(*id_, end);
}

RunError JournaledBatch::rollBack(RunError failure, std::size_t files, std::size_t count,
                                  const StepAt& step) {
  // Where each file is after the renames done, and the name it had before the first of them.
  std::vector<const std::string*> at(files, nullptr);
  std::vector<const std::string*> original(files, nullptr);
  for (std::size_t k = 0; k < count; ++k) {
    const RenameStep s = step(k);
    if (original[s.file] == nullptr) original[s.file] = s.from;
    at[s.file] = s.to;
  }
  for (std::size_t k = count; k-- > 0;) {
    const RenameStep s = step(k);
    if (at[s.file] != s.to) continue;  // a later rename of this file could not be taken back
    try {
      folder_.rename(*s.to, *s.from);
      at[s.file] = s.from;
    } catch (const RunError&) {
      // Reported below: the file is listed with the name it is left under.
    }
  }
  const std::string prefix = folderPrefix(folder_.path());
  for (std::size_t i = 0; i < files; ++i) {
    if (at[i] == original[i]) continue;
    // A file that someone else deleted meanwhile is not under any name: telling the user where it
    // is would send them looking for nothing. When the look itself fails the file is listed.
    bool gone = false;
    try {
      gone = !folder_.lookUp(*at[i]).has_value();
    } catch (const RunError&) {
    }
    if (!gone) failure.addMisplaced({prefix + *at[i], prefix + *original[i]});
  }
  if (failure.misplaced().empty()) {
    try {
      finish({BatchOutcome::RolledBack, 0});
    } catch (const RunError& e) {
      failure = withLaterFailure(failure, e);
    }
  }
  return failure;
}

}  // namespace skorvatin
