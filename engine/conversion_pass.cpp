#include "engine/conversion_pass.h"

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

    // The count is 16-bit and never negative, so count - 1 stays within 16 bits; the loop runs in 32.
    const std::int32_t limit = checked::sub(list_.ListCount(), std::int16_t{1});
    // No events run inside the pass: nothing the user does can change the options or the list
    // between two files, so every file of one pass gets the same transformation, and the new names
    // can be known before the first rename, as the journal needs them.
    newNames_.reserve(static_cast<std::size_t>(limit + 1));
    for (std::int32_t i = 0; i <= limit; ++i)
      newNames_.push_back(transform_(list_.List(static_cast<std::int16_t>(i))));
    if (journal_ != nullptr) {
      batch_ = journal_->begin(journalPlan());
      journaled_ = true;
    }

    for (std::int32_t i = 0; i <= limit; ++i) {
      view_.setFillWidth(static_cast<float>(checked::mul(checked::add(i, 1), stepWidth)));
      folder_->rename(list_.List(static_cast<std::int16_t>(i)), newNames_[static_cast<std::size_t>(i)]);
      ++done_;
    }
  }

  // The names must be on the disk before the journal says which files carry them.
  void finish(bool stopped) {
    if (!journaled_) return;
    folder_->sync();
    journal_->finish(batch_, {stopped ? BatchOutcome::Stopped : BatchOutcome::Done, done_});
  }

 private:
  BatchPlan journalPlan() const {
    FolderSnapshot snapshot(*folder_);
    BatchPlan plan;
    plan.kind = BatchKind::Conversion;
    plan.folderPath = folder_->path();
    plan.folder = folder_->id();
    plan.files.reserve(newNames_.size());
    for (std::size_t i = 0; i < newNames_.size(); ++i) {
      const std::string& name = list_.List(static_cast<std::int16_t>(i));
      // A file that is gone has no identity to record; the pass stops at it all the same.
      plan.files.push_back({snapshot.idOf(name).value_or(FileId{}), name, {}, newNames_[i]});
    }
    return plan;
  }

  FileList& list_;
  ConversionPassView& view_;
  const NameTransform& transform_;
  JournalStore* journal_;
  std::unique_ptr<Folder> folder_;
  std::vector<std::string> newNames_;
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
    File_Refresh(list, pump);
  } catch (const RunError& reRead) {
    error = error ? withLaterFailure(*error, reRead) : reRead;
  }
  view.setButtonEnabled(true);
  if (error) throw *error;
  view.focusButton();
}

}  // namespace skorvatin
