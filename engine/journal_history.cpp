#include "engine/journal_history.h"

#include <algorithm>
#include <unordered_set>

namespace skorvatin {

std::size_t filesChanged(const BatchPlan& plan, const BatchEnd& end) {
  switch (end.outcome) {
    case BatchOutcome::Done:
      return plan.files.size();
    case BatchOutcome::Stopped:
      return end.filesDone < plan.files.size() ? end.filesDone : plan.files.size();
    case BatchOutcome::RolledBack:
      break;
  }
  return 0;
}

namespace {

std::size_t changedCount(const EndRecord& r) {
  switch (r.end.outcome) {
    case BatchOutcome::Done:
      return r.fileCount;
    case BatchOutcome::Stopped:
      return r.end.filesDone;
    case BatchOutcome::RolledBack:
      break;
  }
  return 0;
}

}  // namespace

std::vector<FinishedBatch> undoHistory(const std::vector<EndRecord>& ends) {
  std::unordered_set<BatchId> undone;
  for (const EndRecord& r : ends) {
    if (r.kind == BatchKind::Undo && r.end.outcome == BatchOutcome::Done) undone.insert(r.takesBack);
  }
  std::vector<FinishedBatch> history;
  for (const EndRecord& r : ends) {
    if (r.kind != BatchKind::Numbering && r.kind != BatchKind::Conversion) continue;
    const std::size_t changed = changedCount(r);
    if (changed == 0 || undone.count(r.batch) != 0) continue;
    history.push_back({r.batch, r.kind, r.folderPath, changed});
  }
  std::sort(history.begin(), history.end(),
            [](const FinishedBatch& a, const FinishedBatch& b) { return a.id > b.id; });
  return history;
}

std::vector<BatchId> outdatedBatches(const std::vector<EndRecord>& ends, std::size_t keep) {
  const std::vector<FinishedBatch> history = undoHistory(ends);
  BatchId oldestKept = 0;
  if (keep != 0 && !history.empty()) {
    oldestKept = history[std::min(keep, history.size()) - 1].id;
  } else {
    for (const EndRecord& r : ends) oldestKept = std::max(oldestKept, r.batch);
  }
  std::vector<BatchId> outdated;
  for (const EndRecord& r : ends) {
    if (r.batch < oldestKept) outdated.push_back(r.batch);
  }
  return outdated;
}

}  // namespace skorvatin
