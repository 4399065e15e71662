#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/journal.h"
#include "engine/run_error.h"
#include "platform/fd.h"

namespace skorvatin::platform {

// Where the journals live: $XDG_STATE_HOME/skorvatin, or ~/.local/state/skorvatin when the variable
// is unset, empty or not an absolute path. Throws RunError when there is no home folder to go by.
std::string defaultJournalFolder();

// The journals kept as files in one folder of the user's (0700, files 0600). Every file is written
// to a temporary name, synced, moved into place without replacing anything, and then the folder is
// synced, so a journal is either there whole or not at all. A batch that is running holds a lock on
// its journal, so another copy of the program never offers to recover it.
//
// A journal that is not a regular file of this user (a link, a pipe, someone else's file) is never
// opened for reading as a journal: it is reported as damaged. The folder itself must be the user's
// own and no symbolic link, or nothing is read or written there.
class JournalFolder : public JournalStore {
 public:
  explicit JournalFolder(std::string folder);
  ~JournalFolder() override;
  JournalFolder(const JournalFolder&) = delete;
  JournalFolder& operator=(const JournalFolder&) = delete;

  BatchId begin(const BatchPlan& plan) override;
  void finish(BatchId id, BatchEnd end) override;
  std::vector<StoredBatch> unfinished() override;
  std::vector<FinishedBatch> history() override;
  StoredBatch load(BatchId id) override;
  void moveAside(BatchId id) override;
  std::unique_ptr<BatchHold> hold(BatchId id) override;

  const std::string& folder() const { return folder_; }

  // How many entries of the undo history the folder keeps; older finished journals are removed.
  static constexpr std::size_t kKeptHistory = 20;

 private:
  struct Running {
    Fd lock;  // the journal, open and locked, while the batch runs
    EndRecord head;
  };

  int openFolder(bool create) const;
  void prune(int dir);
  std::vector<EndRecord> finishedEnds(int dir, const std::set<BatchId>& plans, const std::set<BatchId>& ends);

  std::string folder_;
  std::map<BatchId, Running> running_;
  // The end records read or written so far, by batch. One is placed once and never rewritten, only
  // removed, so what was read of it holds for as long as the listing shows it; a slow home folder
  // is then not read through again after every batch.
  std::map<BatchId, EndRecord> knownEnds_;
};

// The store where there is no place for journals (no home folder to go by): nothing is ever written,
// so no batch starts, each refused with the error that says why.
class NoJournalPlace final : public JournalStore {
 public:
  explicit NoJournalPlace(RunError why) : why_(std::move(why)) {}
  BatchId begin(const BatchPlan&) override { throw why_; }
  void finish(BatchId, BatchEnd) override { throw why_; }
  std::vector<StoredBatch> unfinished() override { return {}; }
  std::vector<FinishedBatch> history() override { return {}; }
  StoredBatch load(BatchId) override { throw why_; }
  void moveAside(BatchId) override {}
  std::unique_ptr<BatchHold> hold(BatchId) override { return std::make_unique<BatchHold>(); }

 private:
  RunError why_;
};

// The store the program uses: the journal folder of the user, or, without one, no place at all.
std::unique_ptr<JournalStore> userJournal();

}  // namespace skorvatin::platform
