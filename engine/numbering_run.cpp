#include "engine/numbering_run.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/bare_name.h"
#include "engine/checked.h"
#include "engine/name_index.h"
#include "engine/name_order.h"
#include "engine/number_text.h"
#include "engine/utf8.h"

namespace skorvatin {

namespace {

constexpr const char* kSuffix = ".q";

// What the user is told about a name the check refused: the name, and why when it is its length.
std::string refusedName(const std::string& name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  return name + ": " + nameTooLongText(maxBytes);
}

}  // namespace

std::string extensionBeforeSuffix(const std::string& name) {
  // ".q" is two ASCII bytes, and "." never occurs inside a multi-byte UTF-8 sequence, so byte
  // positions are character positions for both steps.
  const std::string stem = name.substr(0, name.size() >= 2 ? name.size() - 2 : 0);
  const std::size_t dot = stem.rfind('.');
  if (dot == std::string::npos) return {};
  return stem.substr(dot);
}

std::int32_t lastNumber(std::int32_t count, const NumberingSettings& settings) {
  const std::int32_t start = roundToInt32(textValue(settings.start));
  const std::int32_t step = roundToInt32(textValue(settings.step));
  std::int32_t last = checked::mul(count, step);
  last = checked::add(last, start);
  return checked::sub(last, step);
}

NumberingRun::NumberingRun(FileList& list, NumberingSettings settings, EventPump pump, JournalStore* journal)
    : list_(list), settings_(std::move(settings)), pump_(std::move(pump)), journal_(journal) {}

void NumberingRun::run() {
  if (batchCount(list_) == 0) return;
  try {
    if (settings_.leadingZeros) {
      width_ = checked::toInt32(decimalText(lastNumber(batchCount(list_), settings_)).size());
      pause();
    }
    plan();
    batch_->begin(plan_);
  } catch (const RunError& e) {
    reReadAndThrow(e);
  }
  try {
    suffixPass();
    numberingPass();
  } catch (const RunError& e) {
    rollBack(e);
  }
  // Every file has its final name; a failure from here on changes nothing on the disk, and the
  // list is still re-read before the user hears of it.
  std::optional<RunError> unfinished;
  try {
    batch_->finish({BatchOutcome::Done, files_.size()});
  } catch (const RunError& e) {
    unfinished = e;
  }
  showResult();
  if (unfinished) throw *unfinished;
}

RenamePreview NumberingRun::preview() {
  previewing_ = true;
  std::vector<std::pair<std::string, std::string>> names;
  try {
    if (batchCount(list_) == 0) return {};
    if (settings_.leadingZeros) {
      width_ = checked::toInt32(decimalText(lastNumber(batchCount(list_), settings_)).size());
    }
    plan();
  } catch (const RunError& e) {
    // Told with the count of files the run would have taken, and no names: it renames none.
    RenamePreview refused;
    refused.renamed = list_.size();
    refused.refusal = e;
    return refused;
  }
  names.reserve(files_.size());
  for (const PlannedFile& f : files_) names.emplace_back(f.original, f.final);
  return previewOf(names);
}

void NumberingRun::letEventsRun() {
  if (pump_) pump_();
}

void NumberingRun::pause() {
  letEventsRun();
  if (stop_ && stop_()) throw RunError(err::Interrupted, list_.path());
}

void NumberingRun::showResult() {
  // The events after the last rename ran at the pause that ends Go, before the journal was
  // finished, where a request to end could still take the run back.
  //
  // Every file of the batch has its final name, and where names are exact the run knows the
  // folder: its own listing from the start of the run with those names in it. A list read now
  // would find the same, but for files other programs add, remove or rename meanwhile, and the
  // list could miss those a moment after any read too; the next read shows them.
  if (snapshot_ && snapshot_->exact()) {
    refreshList(list_, pump_, snapshot_->withNames(files_.size(), [this](std::size_t k) {
      return std::pair{entries_[ordered_[k]], &files_[ordered_[k]].final};
    }));
  } else {
    refreshList(list_, pump_);
  }
  letEventsRun();
}

void NumberingRun::plan() {
  folder_ = list_.folders().open(list_.path());
  batch_.emplace(journal_, *folder_);
  snapshot_.emplace(*folder_, list_.size());
  prefix_ = folderPrefix(folder_->path());
  // Where the folder lies on which medium is the journal's, and costs a look at the mounts.
  if (!previewing_) plan_ = planIn(BatchKind::Numbering, *folder_);

  const std::size_t count = static_cast<std::size_t>(batchCount(list_));
  files_.reserve(count);
  entries_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& name = list_.at(i);
    // Every file must still be there, as the file it was: a name that now leads to a folder or
    // to nothing stops the run before anything is renamed.
    std::size_t entry = FolderSnapshot::npos;
    if (snapshot_->exact()) {
      entry = snapshot_->find(name);
      if (entry == FolderSnapshot::npos || snapshot_->entry(entry).kind != EntryKind::File) {
        throw RunError::fromErrno(ENOENT, prefix_ + name);
      }
    }
    const std::optional<FileId> id = snapshot_->idOf(name);
    if (!id) throw RunError::fromErrno(ENOENT, prefix_ + name);
    files_.push_back({*id, name, name + kSuffix, {}, {}});
    entries_.push_back(entry);
  }
  if (journal_ != nullptr) stampFiles(*folder_, files_, prefix_);
  if (snapshot_->exact()) {
    batchEntry_.assign(snapshot_->size(), false);
    for (std::size_t entry : entries_) batchEntry_[entry] = true;
  } else {
    for (std::size_t i = 0; i < files_.size(); ++i) {
      batchById_.emplace(std::pair{files_[i].id.device, files_[i].id.inode}, i);
    }
  }
  // The files are numbered in the order the list gives their suffixed names ("ab.c.q" before
  // "ab.q"), exactly as a re-read list between the passes would show them.
  ordered_.resize(files_.size());
  std::iota(ordered_.begin(), ordered_.end(), std::size_t{0});
  const auto byTemporary = [this](std::size_t a, std::size_t b) {
    return nameLess(files_[a].temporary, files_[b].temporary);
  };
  // Mostly the suffix changes no order; one look along the list is cheaper than a sort.
  if (!std::is_sorted(ordered_.begin(), ordered_.end(), byTemporary)) {
    std::stable_sort(ordered_.begin(), ordered_.end(), byTemporary);
  }
  computeFinalNames();
  check();
}

void NumberingRun::computeFinalNames() {
  const double start = textValue(settings_.start);
  const std::int32_t step = roundToInt32(textValue(settings_.step));
  for (std::size_t position = 0; position < ordered_.size(); ++position) {
    PlannedFile& f = files_[ordered_[position]];
    std::string number;
    try {
      number = numberText(checked::toInt32(position), start, step, width_, settings_.decimalSeparator);
    } catch (const RunError& e) {
      throw RunError(e.number(), prefix_ + f.original, e.detail());
    }
    f.final = settings_.prefix + number + settings_.suffix + extensionBeforeSuffix(f.temporary);
  }
}

bool NumberingRun::heldByStranger(const std::string& name) const {
  if (snapshot_->exact()) {
    // Files of the batch are known by their listed names; any other entry under the name (a
    // hidden file, a folder, another link to a file of the batch) stands in the way.
    const std::size_t i = snapshot_->find(name);
    return i != FolderSnapshot::npos && !batchEntry_[i];
  }
  // A case-blind folder answers for a file of the batch also to another spelling of its name;
  // that slot is the batch's own. Another link to the same file answers under a name of its own.
  const auto id = snapshot_->idOf(name);
  if (!id) return false;
  const auto file = batchById_.find({id->device, id->inode});
  return file == batchById_.end() || snapshot_->key(files_[file->second].original) != snapshot_->key(name);
}

// Refuses exactly what the file-by-file run would run into. The suffix pass renames in list order,
// so a file's temporary name must not be held by anything but a file renamed before it; the
// numbering pass renames in numbering order, by when every file of the batch has left its original
// name, and a file's final name must not be held by another final name given before it, by the
// temporary name of a file numbered after it, or by anything outside the batch.
void NumberingRun::check() const {
  const std::size_t maxBytes = folder_->nameMax();
  const std::size_t n = files_.size();
  // Names compare as the folder compares them: the names themselves where names are exact, their
  // case foldings where the folder ignores case (three for every file, made once).
  const bool exact = snapshot_->exact();
  std::vector<std::string> folded;
  if (!exact) {
    folded.reserve(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
      folded.push_back(snapshot_->key(files_[i].original));
      folded.push_back(snapshot_->key(files_[i].temporary));
      folded.push_back(snapshot_->key(files_[ordered_[i]].final));
    }
  }
  const auto originalKey = [&](std::size_t i) -> std::string_view {
    return exact ? std::string_view(files_[i].original) : folded[3 * i];
  };
  const auto temporaryKey = [&](std::size_t i) -> std::string_view {
    return exact ? std::string_view(files_[i].temporary) : folded[3 * i + 1];
  };
  const auto finalKey = [&](std::size_t p) -> std::string_view {
    return exact ? std::string_view(files_[ordered_[p]].final) : folded[3 * p + 2];
  };
  NameIndex<decltype(originalKey)> originalAt(n, originalKey);
  NameIndex<decltype(temporaryKey)> temporaryAt(n, temporaryKey);
  for (std::size_t i = 0; i < n; ++i) {
    originalAt.insert(i);
    temporaryAt.insert(i);
  }
  // Stranger look-ups in a case-blind folder ask the file system: only the names that need it.
  std::unordered_map<std::string, bool> strangerHolds;
  const auto stranger = [&](const std::string& name) {
    if (exact) return heldByStranger(name);
    const auto [it, added] = strangerHolds.emplace(name, false);
    if (added) it->second = heldByStranger(name);
    return it->second;
  };

  for (std::size_t i = 0; i < n; ++i) {
    const PlannedFile& f = files_[i];
    if (!isBareName(f.temporary, maxBytes)) {
      throw RunError(err::BadFileName, prefix_ + f.original, refusedName(f.temporary, maxBytes));
    }
    const std::size_t laterOriginal = originalAt.find(temporaryKey(i));
    const bool takenInBatch = laterOriginal != decltype(originalAt)::npos && laterOriginal > i;
    if (takenInBatch || stranger(f.temporary)) {
      throw RunError(err::FileAlreadyExists, prefix_ + f.original, f.temporary);
    }
  }

  std::vector<std::size_t> positionOf(n);
  for (std::size_t p = 0; p < n; ++p) positionOf[ordered_[p]] = p;
  NameIndex<decltype(finalKey)> finalsGiven(n, finalKey);
  for (std::size_t p = 0; p < n; ++p) {
    const PlannedFile& f = files_[ordered_[p]];
    if (!isBareName(f.final, maxBytes)) {
      throw RunError(err::BadFileName, prefix_ + f.original, refusedName(f.final, maxBytes));
    }
    const std::size_t laterTemporary = temporaryAt.find(finalKey(p));
    const bool takenInBatch =
        finalsGiven.insert(p) != decltype(finalsGiven)::npos ||
        (laterTemporary != decltype(temporaryAt)::npos && positionOf[laterTemporary] > p);
    // Every file of the batch has left its original name by now.
    if (takenInBatch || stranger(f.final))
      throw RunError(err::FileAlreadyExists, prefix_ + f.original, f.final);
  }
}

void NumberingRun::suffixPass() {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    rename(i, files_[i].original, files_[i].temporary);
    ++suffixed_;
  }
  pause();
}

void NumberingRun::numberingPass() {
  // The re-read between the passes is kept for the window's sake (it shows the suffixed names).
  // Where names are exact the run knows what it would find: its own listing with every file of
  // the batch under its temporary name. The pass itself works on the batch, so a file that
  // appeared meanwhile is never touched.
  if (snapshot_->exact()) {
    // In numbering order, which is the list's order of the temporary names: the list need not sort.
    refreshList(list_, pump_, snapshot_->withNames(files_.size(), [this](std::size_t k) {
      return std::pair{entries_[ordered_[k]], &files_[ordered_[k]].temporary};
    }));
  } else {
    refreshList(list_, pump_);
  }
  pause();
  for (std::size_t i : ordered_) {
    rename(i, files_[i].temporary, files_[i].final);
    ++numbered_;
  }
  // The events after the last rename are where an end request made during this pass arrives; the
  // journal is not finished yet, so the whole run can still be taken back.
  pause();
}

void NumberingRun::rename(std::size_t file, const std::string& from, const std::string& to) {
  try {
    folder_->rename(from, to);
  } catch (const RunError& e) {
    // The run is undone before the user hears of it, so a file that failed under its temporary
    // name is named by its first one: that is where it is found afterwards, or what the list of
    // misplaced files leads back to.
    const std::string original = prefix_ + files_[file].original;
    if (e.file() != prefix_ + from || e.file() == original) throw;
    RunError named(e.number(), original, e.detail());
    for (const MisplacedFile& m : e.misplaced()) named.addMisplaced(m);
    throw named;
  }
}

void NumberingRun::rollBack(RunError error) {
  // The suffix pass renamed in list order, the numbering pass in numbering order: two counts say
  // which renames were made.
  const StepAt step = [this](std::size_t k) -> RenameStep {
    if (k < suffixed_) return {k, &files_[k].original, &files_[k].temporary};
    const std::size_t i = ordered_[k - suffixed_];
    return {i, &files_[i].temporary, &files_[i].final};
  };
  reReadAndThrow(batch_->rollBack(std::move(error), files_.size(), suffixed_ + numbered_, step));
}

void NumberingRun::reReadAndThrow(RunError error) {
  try {
    refreshList(list_, pump_);
  } catch (const RunError& reRead) {
    throw withLaterFailure(error, reRead);
  }
  throw error;
}

}  // namespace skorvatin
