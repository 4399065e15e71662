#pragma once

#include <string>
#include <vector>

namespace skorvatin::bench {

// The names of a camera-and-documents folder of n visible files: IMG_0001.JPG, DSC00042.jpg,
// phone names, names with spaces and Polish letters, mixed case, a few without extension, some
// that are not pictures. Deterministic, all distinct, no dot-files, none ending in ".q".
std::vector<std::string> realisticNames(int n);

// A few dot-files that every list read must skip.
std::vector<std::string> hiddenNames();

// A scratch folder under `root` (a tmpfs or a disk folder) filled with empty files of the given
// names and, unless told otherwise, the hidden ones; removed with everything in it when the
// object goes.
class BenchFolder {
 public:
  BenchFolder(const std::string& root, std::vector<std::string> names, bool withHidden = true);
  ~BenchFolder();
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<std::string>& names() const { return names_; }

  // Empties the folder and creates the original files again, and writes them to the disk: every
  // renaming run starts from the same folder, with nothing of the last one still being written.
  void rebuild();

 private:
  void clear();
  void fill();

  std::string path_;
  std::vector<std::string> names_;
  bool withHidden_;
};

// Removes the scratch folders that earlier runs left under `root` when they were killed: their
// names carry the process id, and a folder whose process is gone is nobody's.
void removeStaleFolders(const std::string& root);

// The file system type of a folder, as statfs names it ("tmpfs", "ext4", ...).
std::string fileSystemName(const std::string& path);

}  // namespace skorvatin::bench
