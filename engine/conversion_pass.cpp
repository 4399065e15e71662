#include "engine/conversion_pass.h"

#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "engine/checked.h"
#include "engine/folder.h"
#include "engine/folder_snapshot.h"
#include "engine/journaled_batch.h"
#include "engine/number_text.h"
#include "engine/run_error.h"

namespace skorvatin {

namespace {

// One pass over the list, with its journal when it keeps one.
class Pass {
 public:
  Pass(FileList& list, ConversionPassView& view, const NameTransform& transform, JournalStore* journal)
      : list_(list), view_(view), transform_(transform), journal_(journal) {}

  // Renames file after file; throws at the first step that fails, with the files before it renamed.
  void run() {
    folder_ = list_.folders().open(list_.path());
    batch_.emplace(journal_, *folder_);
    // One listing serves the journal, which records which file each name belongs to, and the list
    // read that follows the pass.
    snapshot_.emplace(*folder_, list_.size());

    const std::size_t count = static_cast<std::size_t>(batchCount(list_));
    // No events run inside the pass: nothing the user does can change the options or the list
    // between two files, so every file of one pass gets the same transformation, and the new names
    // can be known before the first rename, as the journal needs them.
    plan_ = planIn(BatchKind::Conversion, *folder_);
    plan_.files.reserve(count);
    const std::string prefix = folderPrefix(folder_->path());
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& name = list_.at(i);
      // A file deleted since the list was read has no identity for the journal to record: the
      // pass stops before its first rename and says which file is not found.
      const std::optional<FileId> id = snapshot_->idOf(name);
      if (!id) throw RunError::fromErrno(ENOENT, prefix + name);
      plan_.files.push_back({*id, name, {}, transform_(name), {}});
    }
    // The stamps are read side by side; reading one also finds the file still there, which is all a
    // rename to the same name would check, one round trip after another on a share.
    const bool stamped = journal_ != nullptr;
    if (stamped) stampFiles(*folder_, plan_.files, prefix);
    batch_->begin(plan_);

    for (std::size_t i = 0; i < count; ++i) {
      view_.setProgress(i + 1, count);
      const PlannedFile& f = plan_.files[i];
      if (!stamped || f.original != f.final) folder_->rename(f.original, f.final);
      ++done_;
    }
  }

  // What a list read would find after a pass that renamed every file, where names are exact: the
  // listing from the start of the pass with the new names in it. Files that other programs add,
  // remove or rename meanwhile show at the next read, as they would a moment after any read.
  std::optional<ListingSource> folderAfter() {
    if (!snapshot_ || !snapshot_->exact() || done_ != plan_.files.size()) return std::nullopt;
    return snapshot_->withNames(done_, [this](std::size_t k) {
      // Every file was found under its listed name: the pass renamed it.
      return std::pair{snapshot_->find(plan_.files[k].original), &plan_.files[k].final};
    });
  }

  // A pass that stopped is marked so, with the files it renamed: there is no taking it back.
  void finish(bool stopped) {
    if (batch_) batch_->finish({stopped ? BatchOutcome::Stopped : BatchOutcome::Done, done_});
  }

 private:
  FileList& list_;
  ConversionPassView& view_;
  const NameTransform& transform_;
  JournalStore* journal_;
  std::unique_ptr<Folder> folder_;
  std::optional<FolderSnapshot> snapshot_;
  BatchPlan plan_;  // the journal's plan, and the pass's own list of old and new names
  std::optional<JournaledBatch> batch_;
  std::size_t done_ = 0;
};

}  // namespace

void runConversionPass(FileList& list, ConversionPassView& view, const EventPump& pump,
                       const NameTransform& transform, JournalStore* journal) {
  view.setButtonEnabled(false);
  Pass pass(list, view, transform, journal);
  std::optional<RunError> error;
  try {
    pass.run();
  } catch (const RunError& e) {
    error = e;
  }
  try {
    pass.finish(error.has_value());
  } catch (const RunError& e) {
    error = error ? withLaterFailure(*error, e) : e;
  }
  if (!error && pump) pump();
  // Done or stopped, the list shows the folder as the pass left it, and the button works again.
  try {
    const std::optional<ListingSource> known = error ? std::nullopt : pass.folderAfter();
    if (known) {
      refreshList(list, pump, *known);
    } else {
      refreshList(list, pump);
    }
  } catch (const RunError& reRead) {
    error = error ? withLaterFailure(*error, reRead) : reRead;
  }
  view.setButtonEnabled(true);
  if (error) throw *error;
  view.focusButton();
}

}  // namespace skorvatin
