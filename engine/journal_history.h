#pragma once

// What the undo history is made of, and how long a finished journal is kept.

#include <cstddef>
#include <vector>

#include "engine/journal.h"

namespace skorvatin {

// The files of a plan that a batch with this end left under their final names.
std::size_t filesChanged(const BatchPlan& plan, const BatchEnd& end);

// The undo history, newest first, from the end records of every finished batch: numbering runs and
// conversion passes that renamed something, less those that a finished undo took back.
std::vector<FinishedBatch> undoHistory(const std::vector<EndRecord>& ends);

// Finished batches that can go once only the newest `keep` entries of the history are kept. An undo
// is always newer than the batch it took back, so the two go together and nothing comes back into
// the history. The newest batch always stays.
std::vector<BatchId> outdatedBatches(const std::vector<EndRecord>& ends, std::size_t keep);

}  // namespace skorvatin
