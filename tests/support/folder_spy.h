#pragma once

// Any folder service with a look at its renames: how many went through, and a hook that runs before
// each one (to meddle with the folder between two renames of a batch, as another program could).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/folder.h"

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
  class Spied final : public Folder {
   public:
    Spied(FolderSpy& spy, std::unique_ptr<Folder> inner) : spy_(spy), inner_(std::move(inner)) {}
    const std::string& path() const override { return inner_->path(); }
    void forEachEntry(const EntryVisitor& visit) override { inner_->forEachEntry(visit); }
    bool ignoresCase() override { return inner_->ignoresCase(); }
    std::optional<FileId> lookUp(const std::string& name) override { return inner_->lookUp(name); }
    FileId id() override { return inner_->id(); }
    std::size_t nameMax() override { return inner_->nameMax(); }
    void rename(const std::string& from, const std::string& to) override {
      if (spy_.beforeRename) spy_.beforeRename(from, to);
      inner_->rename(from, to);
      ++spy_.renamesDone;
    }
    void sync() override { inner_->sync(); }
    Identity identity() override { return inner_->identity(); }
    std::optional<FileStamp> stampOf(const std::string& name) override { return inner_->stampOf(name); }
    VolumeId volume() override { return inner_->volume(); }

   private:
    FolderSpy& spy_;
    std::unique_ptr<Folder> inner_;
  };

  FolderService& inner_;
};

}  // namespace skorvatin::testing
