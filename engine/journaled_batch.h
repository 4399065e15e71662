#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "engine/folder.h"
#include "engine/journal.h"
#include "engine/run_error.h"

namespace skorvatin {

// One rename of a batch: file `file` of the plan, from one of its names to the next.
struct RenameStep {
  std::size_t file = 0;
  const std::string* from = nullptr;
  const std::string* to = nullptr;
};

// The k-th rename a batch made, counted from 0.
using StepAt = std::function<RenameStep(std::size_t k)>;

// One batch of renames in one folder, kept in the journal in the manner of a file saved through a
// temporary one: begin() makes the plan durable before the first rename; finish() makes the renames
// durable, by syncing the folder, and only then writes the end record, so that no end record ever
// speaks for names that a power cut could still take away; rollBack() takes the renames back and
// finishes the batch only when every one of them went back. Without a store the batch runs the
// same and keeps no journal.
class JournaledBatch {
 public:
  JournaledBatch(JournalStore* store, Folder& folder);

  // A batch begun by an earlier run, to be finished now.
  static JournaledBatch resume(JournalStore& store, Folder& folder, BatchId id);

  // Throws RunError when the plan cannot be made durable; the batch must not start then.
  void begin(const BatchPlan& plan);
  void finish(BatchEnd end);

  // Takes back the first `count` renames, newest first: undoing in exactly the reverse order frees
  // every name just before it is needed again. A file whose rename cannot be taken back stays
  // where it is, and its earlier renames are left alone. Gives `failure` with every file that did
  // not get back, and is still there, listed under the name it bears now; a batch taken back whole
  // is finished as rolled back, any other stays unfinished for the next start to offer.
  RunError rollBack(RunError failure, std::size_t files, std::size_t count, const StepAt& step);

 private:
  JournalStore* store_;
  Folder& folder_;
  std::optional<BatchId> id_;
};

}  // namespace skorvatin
