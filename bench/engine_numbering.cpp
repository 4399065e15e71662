#include <dirent.h>
#include <unistd.h>

#include <cstring>

#include "bench/engine_contenders.h"
#include "engine/numbering_run.h"
#include "platform/journal_folder.h"

namespace skorvatin::bench {

void engineNumbering(FileList& list, bool leadingZeros, JournalStore* journal) {
  NumberingSettings settings;
  settings.leadingZeros = leadingZeros;
  NumberingRun run(
      list, settings, [] {}, journal);
  run.run();
}

// Named like the bench's scratch folders, so that one left by a killed run is removed as they are.
BenchJournal::BenchJournal(const std::string& root)
    : path_(root + "/skorvatin-bench-" + std::to_string(::getpid()) + "-journal"),
      store_(std::make_unique<platform::JournalFolder>(path_)) {}

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
