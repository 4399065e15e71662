#include "engine/file_list.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "engine/file_mask.h"
#include "engine/name_order.h"
#include "engine/run_error.h"

namespace skorvatin {

void FileList::read(const std::string& path, const std::string& pattern, const ListingSource* known) {
  std::vector<std::string> names;
  // A list emptied for its re-read lends its room to it: a large folder's names need not go to
  // memory never touched before.
  if (names_.empty()) names.swap(names_);
  if (!path.empty()) {
    const FileMask mask(pattern);
    names.reserve(lastReadCount_);
    const EntryVisitor keep = [&](std::string_view name, EntryKind kind, std::uint64_t) {
      // Hidden files are never listed, nor anything that is not a file (or a link to one).
      if (name.front() == '.' || kind != EntryKind::File || !mask.matches(name)) return;
      names.emplace_back(name);
    };
    if (known != nullptr) {
      (*known)(keep);
    } else {
      folders_.open(path)->forEachEntry(keep);
    }
    // A listing an operation made up from its own often comes in list order already.
    const auto inListOrder = [](const std::string& a, const std::string& b) { return nameLess(a, b); };
    if (!std::is_sorted(names.begin(), names.end(), inListOrder)) sortInListOrder(names);
  }
  lastReadCount_ = names.size();
  names_ = std::move(names);
  path_ = path;
  pattern_ = pattern;
  if (onChanged_) onChanged_();
}

void FileList::setPath(std::string path) {
  read(path, pattern_, nullptr);
}

void FileList::setPattern(std::string pattern) {
  read(path_, pattern, nullptr);
}

void FileList::setPattern(std::string pattern, const ListingSource& known) {
  read(path_, pattern, &known);
}

void FileList::refresh() {
  read(path_, pattern_, nullptr);
}

void FileList::restorePattern(std::string pattern) {
  pattern_ = std::move(pattern);
}

void FileList::setEmptyingPattern() {
  if (!path_.empty()) folders_.open(path_);
  names_.clear();
  pattern_ = kEmptyingMask;
  if (onChanged_) onChanged_();
}

std::int16_t batchCount(const FileList& list) {
  if (list.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw RunError(err::Overflow, list.path(), "ponad 32767 plików na liście");
  }
  return static_cast<std::int16_t>(list.size());
}

const std::string& FileList::at(std::size_t i) const {
  if (i >= names_.size()) throw RunError(err::SubscriptOutOfRange, path_);
  return names_[i];
}

namespace {

// Empties the list, lets events run and re-reads it with `reRead`. The saved mask goes back also
// when the events or the read fail (the folder gone or unreadable meanwhile): a list left under
// the emptying mask would show nothing in any folder from then on. The list then stays empty, as
// the events saw it; the old entries could name files that are no longer there.
template <class ReRead>
void emptyAndReRead(FileList& list, const EventPump& pump, ReRead reRead) {
  std::string savedMask = list.pattern();
  list.setEmptyingPattern();
  try {
    if (pump) pump();
    reRead(savedMask);
  } catch (...) {
    list.restorePattern(savedMask);
    throw;
  }
  savedMask.clear();
}

}  // namespace

void refreshList(FileList& list, const EventPump& pump) {
  // Setting the mask already re-reads the folder, and nothing can run between that read and an
  // explicit Refresh, so each "set the mask, then refresh" is one read here.
  emptyAndReRead(list, pump, [&list](const std::string& mask) { list.setPattern(mask); });
}

void refreshList(FileList& list, const EventPump& pump, const ListingSource& known) {
  emptyAndReRead(list, pump, [&list, &known](const std::string& mask) { list.setPattern(mask, known); });
}

}  // namespace skorvatin
