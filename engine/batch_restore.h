#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/event_pump.h"
#include "engine/file_list.h"
#include "engine/folder.h"
#include "engine/journal.h"

namespace skorvatin {

// Why a restore did nothing at all, though it was asked to.
enum class LeftAlone : std::uint8_t {
  No,
  HeldElsewhere,    // another copy of the program runs, restores or undoes the batch right now
  AlreadyFinished,  // finished, undone or gone by the time it could be held
};

// A file that keeps an undo from being done whole.
struct ChangedFile {
  std::string path;
  std::string why;  // in Polish
  friend bool operator==(const ChangedFile&, const ChangedFile&) = default;
};

// What a recovery or an undo did, for the report and for the window's re-read.
struct RestoreReport {
  std::string folderPath;
  std::size_t renamed = 0;
  // Full original paths of the files that were under none of their names from the journal.
  std::vector<std::string> missing;
  LeftAlone leftAlone = LeftAlone::No;
  // An undo that could not be done whole: what changed since the batch. Nothing was renamed.
  std::vector<ChangedFile> changedSince;
};

// A batch that a previous run left half done, as the start-up asks about it. A recovery that was
// itself cut off is asked about once, for the whole chain: "Tak" takes it back and then the batch
// it was taking back.
struct PendingRestore {
  BatchId id = 0;  // the batch "Tak" starts with
  BatchKind kind = BatchKind::Numbering;
  BatchKind root = BatchKind::Numbering;  // what the chain began as, which says what "Tak" gives back
  std::string folderPath;
  std::size_t fileCount = 0;  // the files of the batch the chain began with
  bool trusted = false;       // false: the journal cannot be read; restoring it only puts it aside
  std::string away;           // why the folder cannot be reached now, in Polish; empty when it can
};

// The unfinished batches worth a question, newest first. Before that, each is looked at in its
// folder: one whose files all carry their final names is finished as done (only its end record
// had not been written), one whose files all carry their original names as rolled back. A batch
// that another copy of the program holds is left to that copy.
std::vector<PendingRestore> pendingRestores(JournalStore& store, FolderService& folders);

// Puts every file of a batch that was cut off back under its original name, all or nothing, and
// goes on down the chain when the batch was a recovery cut off itself. The batch is held for the
// whole time and its journal read again under that hold, so a batch that another copy has
// finished meanwhile is left alone.
//
// Each file is found by its inode under any name the journal gives it. A name held by anything but
// the file that should get it stops the restore before its first rename; so does a file that is in
// the folder under a name the journal does not know (a newer batch renamed it, or the user did):
// the batch stays unfinished. A file found nowhere is left out and listed. The restore keeps a
// journal of its own, and once it is finished the batch it took back is finished too, as rolled back.
//
// The folder is looked for at its path, then on its volume wherever that is mounted now. A folder
// that is not to be found stops the restore with error 76 saying where it was; the journal stays
// for a later start. Only a journal that cannot be read (damaged, bad names) is moved aside, with
// RunError, before any file is touched. Other errors leave the journal where it is, so the restore
// can be tried again.
//
// The restore works through the folder service of `list`. Like every operation it then re-reads
// the list, when the list shows a folder it worked in, and a re-read that fails is told after the
// restore's own error.
RestoreReport recoverBatch(JournalStore& store, FileList& list, const EventPump& pump, BatchId id);

// Gives the files a finished batch renamed their original names back, all or nothing: every file
// must still bear its new name, and every original name must be free or held by another file of
// the batch. When that is not so, nothing is renamed and the report lists what changed since.
// Afterwards the batch is out of the undo history, and the list is re-read as after a recovery.
RestoreReport undoBatch(JournalStore& store, FileList& list, const EventPump& pump, BatchId id);

// Takes a finished batch out of the undo history without renaming anything: its journal is put
// aside, and the next undo reaches the batch before it.
void forgetBatch(JournalStore& store, BatchId id);

}  // namespace skorvatin
