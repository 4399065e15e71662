#pragma once

#include <cstddef>
#include <string>

namespace skorvatin::bench {

// The yardstick: what a plain C program does with the same system calls and nothing else.
// readdir, fnmatch(FNM_CASEFOLD), dot-files skipped, strdup per name, qsort with strcasecmp.
class RawList {
 public:
  RawList() = default;
  ~RawList();
  RawList(const RawList&) = delete;
  RawList& operator=(const RawList&) = delete;

  // Frees the previous result first, as a program that re-reads would. fnmatch's "*.*" wants a
  // dot, so the mask "*.*" is read as "*": both contenders then list the same files.
  void read(const std::string& folder, const std::string& mask);

  std::size_t size() const { return count_; }
  const char* at(std::size_t i) const { return names_[i]; }

 private:
  void release();

  char** names_ = nullptr;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
};

// Two passes over a list already read: renameat2(RENAME_NOREPLACE) every name to name + ".q",
// re-read, renameat2 each suffixed name to "Plik<n><ext>", re-read.
void rawNumbering(const std::string& folder, const std::string& mask, RawList& list);

enum class RawConversion { Lower, SpacesToUnderscores };

// One pass over a list already read: one renameat2 (RENAME_NOREPLACE) per listed file, to its
// converted name, then one re-read.
void rawConversion(const std::string& folder, const std::string& mask, RawList& list, RawConversion how);

}  // namespace skorvatin::bench
