#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/folder.h"

namespace skorvatin {

// A folder that hands every call to another. A wrapper that changes one call (one that counts or
// stops renames) derives from it and overrides that call alone, so a call added to Folder reaches
// the real folder through every wrapper, the batched stamps included.
class ForwardingFolder : public Folder {
 public:
  explicit ForwardingFolder(std::unique_ptr<Folder> inner) : inner_(std::move(inner)) {}

  const std::string& path() const override { return inner_->path(); }
  void forEachEntry(const EntryVisitor& visit) override { inner_->forEachEntry(visit); }
  bool ignoresCase() override { return inner_->ignoresCase(); }
  std::optional<FileId> lookUp(const std::string& name) override { return inner_->lookUp(name); }
  FileId id() override { return inner_->id(); }
  std::size_t nameMax() override { return inner_->nameMax(); }
  void rename(const std::string& from, const std::string& to) override { inner_->rename(from, to); }
  void sync() override { inner_->sync(); }
  Identity identity() override { return inner_->identity(); }
  std::optional<FileStamp> stampOf(const std::string& name) override { return inner_->stampOf(name); }
  std::vector<std::optional<FileStamp>> stampsOf(std::span<const std::string> names) override {
    return inner_->stampsOf(names);
  }
  VolumeId volume() override { return inner_->volume(); }

 private:
  std::unique_ptr<Folder> inner_;
};

}  // namespace skorvatin
