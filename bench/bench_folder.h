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
// object goes. With a `backing` folder that `root` mirrors (the slow place), the folder is made,
// filled and emptied there, and path() names it under `root`.
class BenchFolder {
 public:
  BenchFolder(const std::string& root, std::vector<std::string> names, bool withHidden = true,
              const std::string& backing = {});
  ~BenchFolder();
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<std::string>& names() const { return names_; }

  // Empties the folder and creates the original files again, and writes them to the disk: every
  // renaming run starts from the same folder, with nothing of the last one still being written.
  // A mirrored folder is made afresh under a new name instead: the kernel still holds the mirror's
  // names of the last run, and a name whose file was replaced behind its back costs a second
  // look-up, which no run on a share of its own would pay.
  void rebuild();

 private:
  void makeAnew();
  void clear();
  void fill();

  std::string path_;
  std::string madePath_;  // where it is filled: path_, or the same folder under the backing one
  std::string root_;
  std::string backing_;
  std::vector<std::string> names_;
  bool withHidden_;
};

// Removes the scratch folders that earlier runs left under `root` when they were killed: their
// names carry the process id, and a folder whose process is gone is nobody's.
void removeStaleFolders(const std::string& root);

// The file system type of a folder, as statfs names it ("tmpfs", "ext4", ...).
std::string fileSystemName(const std::string& path);

}  // namespace skorvatin::bench
