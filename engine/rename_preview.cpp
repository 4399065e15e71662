#include "engine/rename_preview.h"

#include <cerrno>
#include <memory>

#include "engine/folder_snapshot.h"
#include "engine/path.h"

namespace skorvatin {

namespace {

std::string lastName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

RenamePreview previewOf(const std::vector<std::pair<std::string, std::string>>& names) {
  RenamePreview preview;
  std::vector<std::size_t> changing;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].first != names[i].second) changing.push_back(i);
  }
  preview.renamed = changing.size();
  preview.unchanged = names.size() - changing.size();
  if (changing.empty()) return preview;
  std::vector<std::size_t> picked{changing.front()};
  if (changing.size() > 2) picked.push_back(changing[changing.size() / 2]);
  if (changing.size() > 1) picked.push_back(changing.back());
  for (const std::size_t i : picked) preview.samples.push_back(names[i]);
  return preview;
}

RenamePreview previewConversion(const FileList& list, const NameTransform& transform) {
  RenamePreview preview;
  try {
    const std::size_t count = static_cast<std::size_t>(batchCount(list));
    std::vector<std::pair<std::string, std::string>> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) names.emplace_back(list.at(i), transform(list.at(i)));
    preview = previewOf(names);
    if (count == 0) return preview;
    // The pass's own check: every listed file still there. One listing answers for all of them.
    const std::unique_ptr<Folder> folder = list.folders().open(list.path());
    const FolderSnapshot snapshot(*folder, list.size());
    for (std::size_t i = 0; i < count; ++i) {
      if (!snapshot.idOf(list.at(i)))
        throw RunError::fromErrno(ENOENT, joinedPath(folder->path(), list.at(i)));
    }
  } catch (const RunError& e) {
    preview.refusal = e;
  }
  return preview;
}

std::string previewText(const RenamePreview& preview) {
  std::string text;
  if (preview.refusal) {
    const RunError& e = *preview.refusal;
    text = "Nic nie zmieni: Błąd " + std::to_string(e.number()) + ": " + std::string(e.text());
    if (!e.file().empty()) text += "\n" + lastName(e.file());
    if (!e.detail().empty()) text += " (" + e.detail() + ")";
  } else if (preview.renamed == 0) {
    text = preview.unchanged == 0 ? "Brak plików na liście" : "Żadna nazwa się nie zmieni";
  } else {
    text = "Zmieni nazwy plików: " + std::to_string(preview.renamed);
    if (preview.unchanged > 0) text += " (bez zmian: " + std::to_string(preview.unchanged) + ")";
    for (const auto& [from, to] : preview.samples) text += "\n" + from + " → " + to;
  }
  return text + "\nCtrl+Z cofa ostatnią zmianę nazw";
}

}  // namespace skorvatin
