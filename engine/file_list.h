#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/event_pump.h"
#include "engine/folder.h"

namespace skorvatin {

// Where a re-read takes the folder's entries from: the folder itself, or an operation that knows
// them already. It calls the visitor once per entry, as Folder::forEachEntry does.
using ListingSource = std::function<void(const EntryVisitor&)>;

// The files of one folder that match one mask, in list order: the model behind the window's file list.
// It is a snapshot: the entries change only when the folder or the mask is set or Refresh is
// called. Names are the raw bytes the file system gave, never re-encoded, so a listed name handed
// back always names the same file.
class FileList {
 public:
  explicit FileList(FolderService& folders) : folders_(folders) {}

  // The service through which the list, and every operation on it, reaches the folder.
  FolderService& folders() const { return folders_; }

  const std::string& path() const { return path_; }
  // Re-reads at once from the new folder. On failure throws RunError and keeps folder and entries.
  void setPath(std::string path);

  const std::string& pattern() const { return pattern_; }
  // Re-reads at once under the new mask. On failure throws RunError and keeps mask and entries.
  void setPattern(std::string pattern);
  // Sets the mask and shows the folder as `known` lists it, without reading the folder again: for
  // an operation that listed the folder itself and knows every rename it made since.
  void setPattern(std::string pattern, const ListingSource& known);

  void refresh();

  // refreshList's first step: the emptying mask, and the list empty at once. The folder is opened,
  // so a folder that has gone fails here as a read would, but its entries are not read: the list
  // under this mask is empty by design.
  void setEmptyingPattern();
  // refreshList's way back when its re-read fails: the mask it saved, without a read, so that
  // the next read lists under it. The entries stay as they are.
  void restorePattern(std::string pattern);

  std::size_t size() const { return names_.size(); }
  // The i-th entry; error 9 past the end.
  const std::string& at(std::size_t i) const;
  const std::vector<std::string>& names() const { return names_; }

  // Called after every successful re-read (the view resets itself once per read).
  void setOnChanged(std::function<void()> callback) { onChanged_ = std::move(callback); }

 private:
  void read(const std::string& path, const std::string& pattern, const ListingSource* known);

  FolderService& folders_;
  std::string path_;
  std::string pattern_ = "*.*";
  std::vector<std::string> names_;
  std::size_t lastReadCount_ = 0;  // room to reserve, also right after the list was emptied
  std::function<void()> onChanged_;
};

// Re-reads the list's folder under its unchanged mask, the way the window always did it: clear
// the list with a mask nothing matches, let events run once, then put the saved mask back. When
// the re-read fails, the error is thrown with the saved mask back in place and the list empty.
void refreshList(FileList& list, const EventPump& pump);
// The same, with the folder's present content already known to the caller.
void refreshList(FileList& list, const EventPump& pump, const ListingSource& known);

// How many files an operation works on: the list's count, which an operation counts in signed
// 16 bits. A folder with more than 32767 matching files raises error 6 here rather than letting
// the count wrap.
std::int16_t batchCount(const FileList& list);

// The mask that matches no real file; refreshList empties the list with it.
inline constexpr const char* kEmptyingMask = "*.-x-";

}  // namespace skorvatin
