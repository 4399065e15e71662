#include "engine/journal.h"

#include <cerrno>
#include <chrono>
#include <unordered_set>

#include "engine/bare_name.h"
#include "engine/run_error.h"

namespace skorvatin {

bool isPlainAbsolutePath(std::string_view path) {
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos) return false;
  if (path == "/") return true;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view step = path.substr(start, slash - start);
    if (step.empty() || step == "." || step == "..") return false;
    start = slash + 1;
  }
  return true;
}

BatchPlan planIn(BatchKind kind, Folder& folder) {
  BatchPlan plan;
  plan.kind = kind;
  plan.folderPath = folder.path();
  plan.folder = folder.id();
  plan.volume = folder.volume();
  plan.identity = folder.identity();
  plan.begun = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
  return plan;
}

void stampFiles(Folder& folder, std::vector<PlannedFile>& files, const std::string& prefix) {
  std::vector<std::string> names;
  names.reserve(files.size());
  for (const PlannedFile& f : files) names.push_back(f.original);
  std::vector<std::optional<FileStamp>> stamps = folder.stampsOf(names);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!stamps[i]) throw RunError::fromErrno(ENOENT, prefix + files[i].original);
    files[i].stamp = *stamps[i];
  }
}

std::optional<std::string> nameProblem(const BatchPlan& plan) {
  if (!isPlainAbsolutePath(plan.folderPath)) return "zła ścieżka folderu: " + plan.folderPath;
  if (plan.volume.known() && !isPlainAbsolutePath(plan.volume.inside)) {
    return "zła ścieżka folderu na nośniku: " + plan.volume.inside;
  }
  const bool takesBack = plan.kind == BatchKind::Undo || plan.kind == BatchKind::Recovery;
  if (takesBack != (plan.takesBack != 0)) return std::string("zły numer cofanej operacji");
  for (const PlannedFile& f : plan.files) {
    for (const std::string* name : {&f.original, &f.final}) {
      if (!isBareName(*name)) return "zła nazwa pliku: " + *name;
    }
    if (!f.temporary.empty() && !isBareName(f.temporary)) return "zła nazwa pliku: " + f.temporary;
    // The files lie directly in the folder, so on its file system.
    if (f.id.device != plan.folder.device) return "plik z innego systemu plików: " + f.original;
  }
  return std::nullopt;
}

std::optional<std::string> planProblem(const BatchPlan& plan) {
  if (auto problem = nameProblem(plan)) return problem;
  std::unordered_set<std::string_view> originals;
  originals.reserve(plan.files.size());
  for (const PlannedFile& f : plan.files) {
    if (!originals.insert(f.original).second) return "dwa pliki o tej samej nazwie: " + f.original;
  }
  return std::nullopt;
}

std::optional<std::string> endProblem(const BatchEnd& end, std::size_t fileCount) {
  switch (end.outcome) {
    case BatchOutcome::Done:
      if (end.filesDone == fileCount) return std::nullopt;
      break;
    case BatchOutcome::Stopped:
      if (end.filesDone <= fileCount) return std::nullopt;
      break;
    case BatchOutcome::RolledBack:
      if (end.filesDone == 0) return std::nullopt;
      break;
  }
  return "zła liczba przemianowanych plików: " + std::to_string(end.filesDone) + " z " +
         std::to_string(fileCount);
}

}  // namespace skorvatin
