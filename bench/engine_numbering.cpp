#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/engine_contenders.h"
#include "engine/forwarding_folder.h"
#include "engine/numbering_run.h"
#include "platform/journal_folder.h"
#include "platform/posix_folder.h"

namespace skorvatin::bench {

namespace {

// What the kill looks like to the run: nothing it catches, so nothing of it runs after the cut.
struct CutOff {};

// The program's own folders, but a rename past the allowed number never reaches the disk.
class CuttingFolder final : public ForwardingFolder {
 public:
  CuttingFolder(std::unique_ptr<Folder> inner, std::size_t& renamesLeft)
      : ForwardingFolder(std::move(inner)), left_(renamesLeft) {}
  void rename(const std::string& from, const std::string& to) override {
    if (left_ == 0) throw CutOff{};
    ForwardingFolder::rename(from, to);
    --left_;
  }

 private:
  std::size_t& left_;
};

class CuttingFolders final : public FolderService {
 public:
  explicit CuttingFolders(std::size_t renames) : left_(renames) {}
  std::unique_ptr<Folder> open(const std::string& path) override {
    return std::make_unique<CuttingFolder>(platform::systemFolders().open(path), left_);
  }
  std::vector<std::string> whereIs(const VolumeId& volume) override {
    return platform::systemFolders().whereIs(volume);
  }

 private:
  std::size_t left_;
};

}  // namespace

void engineNumbering(FileList& list, bool leadingZeros, JournalStore* journal) {
  NumberingSettings settings;
  settings.leadingZeros = leadingZeros;
  NumberingRun run(
      list, settings, [] {}, journal);
  run.run();
}

void engineNumberingCutOff(const std::string& folder, JournalStore& journal, std::size_t renames) {
  CuttingFolders folders(renames);
  FileList list(folders);
  list.setPath(folder);
  try {
    engineNumbering(list, false, &journal);
  } catch (const CutOff&) {
    return;
  }
  throw std::runtime_error("the numbering run in " + folder + " was not cut off after " +
                           std::to_string(renames) + " renames");
}

// Named like the bench's scratch folders, so that one left by a killed run is removed as they are.
BenchJournal::BenchJournal(const std::string& root)
    : path_(root + "/skorvatin-bench-" + std::to_string(::getpid()) + "-journal"),
      store_(std::make_unique<platform::JournalFolder>(path_)) {}

void BenchJournal::restart() {
  store_.reset();
  store_ = std::make_unique<platform::JournalFolder>(path_);
}

BenchJournal::~BenchJournal() {
  store_.reset();
  if (DIR* dir = ::opendir(path_.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        ::unlink((path_ + "/" + e->d_name).c_str());
      }
    }
    ::closedir(dir);
  }
  ::rmdir(path_.c_str());
}

}  // namespace skorvatin::bench
