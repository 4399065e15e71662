#pragma once

// Journals held in memory, for engine tests: the same answers as the store on disk, with the
// journals open to inspection, damage injected where a test wants it, and every call logged in
// order so a test can see that a journal was durable before the first rename.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/journal.h"
#include "engine/journal_history.h"
#include "engine/run_error.h"

namespace skorvatin::testing {

class MemoryJournalStore : public JournalStore {
 public:
  struct Journal {
    BatchPlan plan;
    std::optional<BatchEnd> end;
    std::string damage;  // when set, the journal reads as damaged, for this reason
    bool aside = false;
  };

  std::map<BatchId, Journal> journals;
  // When set, begin() fails the way a full disk would.
  bool full = false;
  // Called at every call with a short description ("begin 3", "finish 3"), for tests of the order
  // of events; a test may also throw from it to stop an operation there.
  std::function<void(const std::string&)> onCall;

  // Puts a journal in place as an earlier run would have left it.
  BatchId add(const BatchPlan& plan, std::optional<BatchEnd> end = std::nullopt) {
    const BatchId id = nextId_++;
    journals[id] = {plan, end, {}, false};
    return id;
  }

  BatchId begin(const BatchPlan& plan) override {
    if (full) throw RunError(err::DiskFull, "/stan/skorvatin", "brak miejsca na dziennik");
    if (auto problem = nameProblem(plan)) throw RunError(err::BadFileName, plan.folderPath, *problem);
    const BatchId id = add(plan);
    note("begin " + std::to_string(id));
    return id;
  }

  void finish(BatchId id, BatchEnd end) override {
    Journal& j = journals.at(id);
    if (j.end) throw RunError(err::FileAlreadyExists, source(id), "operacja już zakończona");
    if (auto problem = endProblem(end, j.plan.files.size()))
      throw RunError(err::BadFileFormat, source(id), *problem);
    // Before the record: a test that stops the program here finds the batch unfinished.
    note("finish " + std::to_string(id));
    j.end = end;
  }

  std::vector<StoredBatch> unfinished() override {
    std::vector<StoredBatch> out;
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
      if (!it->second.aside && !it->second.end && !isHeld(it->first)) out.push_back(stored(it->first));
    }
    return out;
  }

  // Batches another copy of the program runs or holds.
  std::set<BatchId> heldElsewhere;

  std::unique_ptr<BatchHold> hold(BatchId id) override {
    if (isHeld(id)) return nullptr;
    held_.insert(id);
    return std::make_unique<Hold>(held_, id);
  }
  bool isHeld(BatchId id) const { return heldElsewhere.count(id) != 0 || held_.count(id) != 0; }

  std::vector<FinishedBatch> history() override {
    std::vector<EndRecord> ends;
    for (const auto& [id, j] : journals) {
      if (j.aside || !j.end || !j.damage.empty()) continue;
      ends.push_back({id, j.plan.kind, j.plan.takesBack, j.plan.files.size(), j.plan.folderPath, *j.end});
    }
    return undoHistory(ends);
  }

  StoredBatch load(BatchId id) override { return stored(id); }

  void moveAside(BatchId id) override {
    journals.at(id).aside = true;
    note("aside " + std::to_string(id));
  }

  static std::string source(BatchId id) { return "/stan/skorvatin/" + std::to_string(id); }

 private:
  StoredBatch stored(BatchId id) const {
    StoredBatch out;
    out.id = id;
    out.source = source(id);
    const auto it = journals.find(id);
    if (it == journals.end() || it->second.aside) {
      out.gone = true;
      out.problem = "nie ma dziennika";
      return out;
    }
    const Journal& j = it->second;
    if (j.damage.empty()) {
      out.plan = j.plan;
    } else {
      out.problem = j.damage;
    }
    out.end = j.end;
    return out;
  }
  void note(const std::string& what) {
    if (onCall) onCall(what);
  }

  class Hold final : public BatchHold {
   public:
    Hold(std::set<BatchId>& held, BatchId id) : held_(held), id_(id) {}
    ~Hold() override { held_.erase(id_); }

   private:
    std::set<BatchId>& held_;
    BatchId id_;
  };

  BatchId nextId_ = 1;
  std::set<BatchId> held_;
};

}  // namespace skorvatin::testing
