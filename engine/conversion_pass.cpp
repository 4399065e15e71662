#include "engine/conversion_pass.h"

#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "engine/checked.h"
#include "engine/folder.h"
#include "engine/folder_snapshot.h"
#include "engine/number_text.h"
#include "engine/run_error.h"

namespace skorvatin {

std::int32_t progressStepWidth(float trackWidth) {
  const double quotient = static_cast<double>(trackWidth) / 100.0;
  // Spelled out rather than left to nearbyint, whose result would follow whatever rounding mode
  // the floating-point environment happens to be in.
  double rounded = std::floor(quotient);
  const double fraction = quotient - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw RunError(err::Overflow);
  return static_cast<std::int32_t>(rounded);
}

namespace {

// One pass over the list, with its journal when it keeps one.
class Pass {
 public:
  Pass(FileList& list, ConversionPassView& view, const NameTransform& transform, JournalStore* journal)
      : list_(list), view_(view), transform_(transform), journal_(journal) {}

  // Renames file after file; throws at the first step that fails, with the files before it renamed.
  void run() {
    const std::int32_t stepWidth = progressStepWidth(view_.trackWidth());
    folder_ = list_.folders().open(list_.Path());
    // One listing serves the journal, which records which file each name belongs to, and the list
    // read that follows the pass.
    snapshot_.emplace(*folder_, list_.size());

    // The count is 16-bit and never negative, so count - 1 stays within 16 bits; the loop runs in 32.
    const std::int32_t limit = checked::sub(list_.ListCount(), std::int16_t{1});
    // No events run inside the pass: nothing the user does can change the options or the list
    // between two files, so every file of one pass gets the same transformation, and the new names
    // can be known before the first rename, as the journal needs them.
    plan_ = planIn(BatchKind::Conversion, *folder_);
    plan_.files.reserve(static_cast<std::size_t>(limit + 1));
    const std::string prefix = folderPrefix(folder_->path());
    for (std::int32_t i = 0; i <= limit; ++i) {
      const std::string& name = list_.List(static_cast<std::int16_t>(i));
      // A file deleted since the list was read has no identity for the journal to record: the
      // pass stops before its first rename and says which file is not found.
      auto file = plannedFile(*folder_, snapshot_->idOf(name), name, journal_ != nullptr);
      if (!file) throw RunError::fromErrno(ENOENT, prefix + name);
      file->final = transform_(name);
      plan_.files.push_back(std::move(*file));
    }
    if (journal_ != nullptr) {
      batch_ = journal_->begin(plan_);
      journaled_ = true;
    }

    for (std::int32_t i = 0; i <= limit; ++i) {
      view_.setFillWidth(static_cast<float>(checked::mul(checked::add(i, 1), stepWidth)));
      const PlannedFile& f = plan_.files[static_cast<std::size_t>(i)];
      folder_->rename(f.original, f.final);
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

  // The names must be on the disk before the journal says which files carry them.
  void finish(bool stopped) {
    if (!journaled_) return;
    folder_->sync();
    journal_->finish(batch_, {stopped ? BatchOutcome::Stopped : BatchOutcome::Done, done_});
  }

 private:
  FileList& list_;
  ConversionPassView& view_;
  const NameTransform& transform_;
  JournalStore* journal_;
  std::unique_ptr<Folder> folder_;
  std::optional<FolderSnapshot> snapshot_;
  BatchPlan plan_;  // the journal's plan, and the pass's own list of old and new names
  BatchId batch_ = 0;
  bool journaled_ = false;
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
      File_Refresh(list, pump, *known);
    } else {
      File_Refresh(list, pump);
    }
  } catch (const RunError& reRead) {
    error = error ? withLaterFailure(*error, reRead) : reRead;
  }
  view.setButtonEnabled(true);
  if (error) throw *error;
  view.focusButton();
}

}  // namespace skorvatin
