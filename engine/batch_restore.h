#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/folder.h"
#include "engine/journal.h"

namespace skorvatin {

// What a recovery or an undo did, for the report and for the window's re-read.
struct RestoreReport {
  std::string folderPath;
  std::size_t renamed = 0;
  // Full original paths of the files that were under none of their names from the journal.
  std::vector<std::string> missing;
};

// Puts every file of a batch that was cut off back under its original name, all or nothing.
// Each file is found by its inode under any name the journal gives it. A name held by anything but
// the file that should get it stops the restore before its first rename; a file found nowhere is
// left out and listed. The restore keeps a journal of its own, and once it is finished the batch it
// took back is finished too, as rolled back.
//
// A journal that cannot be trusted (damaged, bad names, its folder gone or replaced) is moved aside
// and the restore stops with RunError before touching any file. Other errors leave the journal
// where it is, so the restore can be tried again.
RestoreReport recoverBatch(JournalStore& store, FolderService& folders, const StoredBatch& batch);

// Gives the files a finished batch renamed their original names back, all or nothing: every file
// must still bear its new name, and every original name must be free or held by another file of
// the batch. Afterwards the batch is out of the undo history.
RestoreReport undoBatch(JournalStore& store, FolderService& folders, BatchId id);

}  // namespace skorvatin
