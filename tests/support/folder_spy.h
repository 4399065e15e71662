#pragma once

// Any folder service with a look at its renames: how many went through, and a hook that runs before
// each one (to meddle with the folder between two renames of a batch, as another program could).

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/folder.h"
#include "engine/forwarding_folder.h"

namespace skorvatin::testing {

class FolderSpy final : public FolderService {
 public:
  explicit FolderSpy(FolderService& inner) : inner_(inner) {}

  int renamesDone = 0;
  std::function<void(const std::string& from, const std::string& to)> beforeRename;

  std::unique_ptr<Folder> open(const std::string& path) override {
    return std::make_unique<Spied>(*this, inner_.open(path));
  }
  std::vector<std::string> whereIs(const VolumeId& volume) override { return inner_.whereIs(volume); }

 private:
  class Spied final : public ForwardingFolder {
   public:
    Spied(FolderSpy& spy, std::unique_ptr<Folder> inner) : ForwardingFolder(std::move(inner)), spy_(spy) {}
    void rename(const std::string& from, const std::string& to) override {
      if (spy_.beforeRename) spy_.beforeRename(from, to);
      ForwardingFolder::rename(from, to);
      ++spy_.renamesDone;
    }

   private:
    FolderSpy& spy_;
  };

  FolderService& inner_;
};

}  // namespace skorvatin::testing
