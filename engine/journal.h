#pragma once

// The batch journal: what a batch of renames is about to do, written down and made durable before
// its first rename, so that a batch cut off by a crash, a kill or a power cut can be taken back at
// the next start, and a finished one undone later.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/folder.h"

namespace skorvatin {

// Journals are numbered in the order they were begun; a later batch has a higher number.
using BatchId = std::uint64_t;

enum class BatchKind : std::uint8_t { Numbering, Conversion, Undo, Recovery };

// One file of a batch. Every name is a bare name of the batch's folder, exact bytes.
struct PlannedFile {
  FileId id;
  std::string original;
  std::string temporary;  // the stop on the way; empty when the batch renames in one step
  std::string final;
  // Size and times when the batch began; journals from before they were kept have none.
  std::optional<FileStamp> stamp;
  friend bool operator==(const PlannedFile&, const PlannedFile&) = default;
};

struct BatchPlan {
  BatchKind kind = BatchKind::Numbering;
  // The batch that an undo or a recovery takes back; 0 for the other kinds.
  BatchId takesBack = 0;
  std::string folderPath;
  FileId folder;
  // The folder's volume, to find it under another mount point; how far its numbers held.
  VolumeId volume;
  Identity identity = Identity::Lasting;
  std::int64_t begun = 0;  // nanoseconds since 1970; 0 when not known
  std::vector<PlannedFile> files;
  friend bool operator==(const BatchPlan&, const BatchPlan&) = default;
};

enum class BatchOutcome : std::uint8_t {
  Done,     // every file carries its final name
  Stopped,  // the first `filesDone` files of the plan carry their final names, the rest their original ones
  RolledBack,  // every file is back under its original name
};

struct BatchEnd {
  BatchOutcome outcome = BatchOutcome::Done;
  std::size_t filesDone = 0;
  friend bool operator==(const BatchEnd&, const BatchEnd&) = default;
};

// A plan for a batch of `kind` in `folder`, no files yet: where the folder is, on which volume,
// and how far its numbers tell files apart.
BatchPlan planIn(BatchKind kind, Folder& folder);

// Reads the stamps of the planned files, all in one request to the folder: a stamp is what
// recognises a file after a remount, so only a batch that keeps a journal needs them. Throws 53
// naming the first file, in plan order, that is no longer there; `prefix` is the folder's, for the
// message.
void stampFiles(Folder& folder, std::vector<PlannedFile>& files, const std::string& prefix);

// Why a plan cannot be a journal, in Polish, or nothing when it can. A plan names one folder by an
// absolute path and every file by bare names of that folder: nothing in it may lead elsewhere, and
// no two files may have come from one name.
std::optional<std::string> planProblem(const BatchPlan& plan);

// The same, each file on its own: all that a plan made from one listing of a folder needs checking,
// since a folder never holds two entries of one name. Linear and cheap, for the writer's side.
std::optional<std::string> nameProblem(const BatchPlan& plan);

// Why `end` cannot close a batch of `fileCount` files, or nothing.
std::optional<std::string> endProblem(const BatchEnd& end, std::size_t fileCount);

// A path given as an absolute path in its one plain spelling: no empty, "." or ".." steps, so that
// it cannot be made to lead somewhere by a trick of spelling.
bool isPlainAbsolutePath(std::string_view path);

// The record that closes a batch. It repeats what the undo history needs of the plan, so the
// history is read from these small records alone; the plan is read when a batch is undone.
struct EndRecord {
  BatchId batch = 0;
  BatchKind kind = BatchKind::Numbering;
  BatchId takesBack = 0;
  std::size_t fileCount = 0;
  std::string folderPath;
  BatchEnd end;
  friend bool operator==(const EndRecord&, const EndRecord&) = default;
};
// One batch as the store holds it: its plan when it can be read, or why not.
struct StoredBatch {
  BatchId id = 0;
  std::string source;  // where the journal lies, for messages
  std::optional<BatchPlan> plan;
  std::string problem;          // in Polish; empty when the plan was read
  std::optional<BatchEnd> end;  // how the batch ended, once it has
  bool gone = false;            // no journal under this number any more (restored, put aside)
};

// One entry of the undo history.
struct FinishedBatch {
  BatchId id = 0;
  BatchKind kind = BatchKind::Numbering;
  std::string folderPath;
  std::size_t fileCount = 0;  // the files an undo takes back: the part that was done
};

// A batch kept to this copy of the program while the hold lives: no other copy lists it as
// unfinished, recovers it or undoes it meanwhile.
class BatchHold {
 public:
  virtual ~BatchHold() = default;
};

// Where journals are kept. Declared here, kept on disk by the platform, in memory by tests.
class JournalStore {
 public:
  virtual ~JournalStore() = default;

  // Writes the plan and makes it durable before returning. Throws RunError when it cannot, and
  // then leaves nothing behind: the batch must not start.
  virtual BatchId begin(const BatchPlan& plan) = 0;

  // Marks the batch finished, durably and at once. The caller syncs the batch's folder first.
  virtual void finish(BatchId id, BatchEnd end) = 0;

  // Batches that were begun and never finished, newest first; a batch that another running
  // process is still working on, or holds, is left out. Only the plans of these batches are read:
  // a finished batch costs the reading of its small end record, however long the history.
  virtual std::vector<StoredBatch> unfinished() = 0;

  // Holds a batch for this copy of the program, or gives nothing when another copy runs or holds
  // it, or when that cannot be known: a batch whose lock cannot be taken is treated as busy,
  // never as abandoned. A batch whose journal has gone can be held; loading it then says so.
  virtual std::unique_ptr<BatchHold> hold(BatchId id) = 0;

  // Finished numbering runs and conversion passes that changed names and were not undone since,
  // newest first. Undo and recovery batches are never in it.
  virtual std::vector<FinishedBatch> history() = 0;

  // The plan of one batch, or why it cannot be read.
  virtual StoredBatch load(BatchId id) = 0;

  // Takes a journal that cannot be trusted out of the way, keeping it for whoever wants to look.
  virtual void moveAside(BatchId id) = 0;
};

}  // namespace skorvatin
