#include "engine/batch_restore.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/run_error.h"

namespace skorvatin {

namespace {

// What holds which name in the folder, from one listing; a case-blind folder is asked name by name
// as well, since it answers to spellings the listing does not show.
class FolderNames {
 public:
  explicit FolderNames(Folder& folder) : folder_(folder) {
    folder.forEachEntry([this](std::string_view name, EntryKind, std::uint64_t inode) {
      const auto it = entries_.emplace(std::string(name), inode).first;
      byInode_.emplace(inode, &it->first);
    });
    caseBlind_ = folder.ignoresCase();
    device_ = folder.id().device;
  }

  // The inode of the entry stored under exactly this name.
  std::optional<std::uint64_t> exact(const std::string& name) const {
    const auto it = entries_.find(name);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
  }

  // The inode of whatever answers to `name`. Something on another device (a mount point) answers
  // with 0, which no file of a batch has.
  std::optional<std::uint64_t> holder(const std::string& name) {
    if (auto inode = exact(name)) return inode;
    if (!caseBlind_) return std::nullopt;
    const auto found = folder_.lookUp(name);
    if (!found) return std::nullopt;
    return found->device == device_ ? found->inode : 0;
  }

  // The name a file with this inode is stored under, when one of `names` answers to it: in a
  // case-blind folder the journal's spelling need not be the stored one.
  const std::string* storedAs(std::uint64_t inode, const std::vector<const std::string*>& names) {
    const auto it = byInode_.find(inode);
    if (it == byInode_.end() || !caseBlind_) return nullptr;
    for (const std::string* name : names) {
      if (holder(*name) == inode) return it->second;
    }
    return nullptr;
  }

 private:
  Folder& folder_;
  std::unordered_map<std::string, std::uint64_t> entries_;
  std::unordered_map<std::uint64_t, const std::string*> byInode_;
  bool caseBlind_ = false;
  std::uint64_t device_ = 0;
};

// One file on its way back: from where it is, through a name nothing else uses, to where it
// belongs. The stop on the way is what lets names that form a cycle (a numbering run can swap two
// names) be given back without ever needing a name that is still taken.
struct Move {
  std::uint64_t inode = 0;
  std::string from;
  std::string via;
  std::string to;
};

[[noreturn]] void refuseJournal(JournalStore& store, BatchId id, int number, const std::string& file,
                                const std::string& why) {
  store.moveAside(id);
  throw RunError(number, file, why + "; dziennik odłożono na bok");
}

const BatchPlan& trustedPlan(JournalStore& store, const StoredBatch& batch) {
  if (!batch.plan) refuseJournal(store, batch.id, err::BadFileFormat, batch.source, batch.problem);
  if (auto problem = planProblem(*batch.plan)) {
    refuseJournal(store, batch.id, err::BadFileFormat, batch.source, *problem);
  }
  return *batch.plan;
}

// The batch's folder, provided it is still the one the journal names.
std::unique_ptr<Folder> openBatchFolder(JournalStore& store, FolderService& folders, BatchId id,
                                        const BatchPlan& plan) {
  std::unique_ptr<Folder> folder;
  try {
    folder = folders.open(plan.folderPath);
  } catch (const RunError& e) {
    if (e.number() != err::PathNotFound) throw;
    refuseJournal(store, id, err::PathNotFound, plan.folderPath, "folderu z dziennika już nie ma");
  }
  if (folder->id() != plan.folder) {
    refuseJournal(store, id, err::PathNotFound, plan.folderPath, "w tym miejscu jest teraz inny folder");
  }
  return folder;
}

// Every target must be free, or held by the moving file itself (a case variant in a case-blind
// folder) or by another file of the batch that moves away first.
void checkTargets(FolderNames& names, const std::vector<Move>& moves, const std::string& prefix) {
  std::unordered_map<std::string_view, std::uint64_t> leaving;
  leaving.reserve(moves.size());
  std::unordered_set<std::uint64_t> moving;
  for (const Move& m : moves) {
    leaving.emplace(m.from, m.inode);
    moving.insert(m.inode);
  }
  for (const Move& m : moves) {
    const auto holder = names.holder(m.to);
    if (!holder || *holder == m.inode) continue;
    const auto exact = names.exact(m.to);
    if (exact) {
      const auto it = leaving.find(m.to);
      if (it != leaving.end() && it->second == *exact) continue;
    } else if (moving.count(*holder) != 0) {
      continue;  // a case variant of a name that a file of the batch leaves
    }
    throw RunError(err::FileAlreadyExists, prefix + m.to, "nazwa jest zajęta przez inny plik");
  }
}

// Short hidden names that neither the folder nor the batch uses.
void chooseStops(FolderNames& names, std::vector<Move>& moves, const std::vector<const std::string*>& used) {
  std::unordered_set<std::string_view> taken;
  taken.reserve(used.size());
  for (const std::string* name : used) taken.insert(*name);
  std::uint64_t n = 0;
  for (Move& m : moves) {
    for (;;) {
      std::string candidate = ".skorvatin-" + std::to_string(++n);
      if (taken.count(candidate) == 0 && !names.holder(candidate)) {
        m.via = std::move(candidate);
        break;
      }
    }
  }
}

RunError withNote(const RunError& error, const std::string& note) {
  std::string detail = error.detail();
  if (!detail.empty()) detail += "; ";
  detail += note;
  RunError out(error.number(), error.file(), detail);
  for (const MisplacedFile& m : error.misplaced()) out.addMisplaced(m);
  return out;
}

// Writes the journal, moves every file in two passes and finishes the journal. A rename that fails
// puts back every rename done so far, newest first; only a complete put-back finishes the journal
// (as rolled back), otherwise it stays for the next start to offer.
void carryOut(JournalStore& store, Folder& folder, const BatchPlan& journal, const std::vector<Move>& moves) {
  const BatchId own = store.begin(journal);
  const std::string prefix = folderPrefix(journal.folderPath);
  struct Step {
    std::size_t move;
    const std::string* from;
    const std::string* to;
  };
  std::vector<Step> done;
  done.reserve(moves.size() * 2);
  try {
    for (std::size_t i = 0; i < moves.size(); ++i) {
      folder.rename(moves[i].from, moves[i].via);
      done.push_back({i, &moves[i].from, &moves[i].via});
    }
    for (std::size_t i = 0; i < moves.size(); ++i) {
      folder.rename(moves[i].via, moves[i].to);
      done.push_back({i, &moves[i].via, &moves[i].to});
    }
  } catch (const RunError& failure) {
    std::vector<const std::string*> at(moves.size());
    for (std::size_t i = 0; i < moves.size(); ++i) at[i] = &moves[i].from;
    for (const Step& s : done) at[s.move] = s.to;
    bool complete = true;
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (at[it->move] != it->to) continue;  // a later step of this file could not be put back
      try {
        folder.rename(*it->to, *it->from);
        at[it->move] = it->from;
      } catch (const RunError&) {
        complete = false;
      }
    }
    RunError error = failure;
    for (std::size_t i = 0; i < moves.size(); ++i) {
      if (at[i] != &moves[i].from) error.addMisplaced({prefix + *at[i], prefix + moves[i].from});
    }
    if (complete) {
      try {
        folder.sync();
        store.finish(own, {BatchOutcome::RolledBack, 0});
      } catch (const RunError& e) {
        throw withNote(error, e.what());
      }
    }
    throw error;
  }
  folder.sync();
  store.finish(own, {BatchOutcome::Done, moves.size()});
}

BatchPlan journalFor(BatchKind kind, BatchId takesBack, const BatchPlan& plan,
                     const std::vector<Move>& moves) {
  BatchPlan journal;
  journal.kind = kind;
  journal.takesBack = takesBack;
  journal.folderPath = plan.folderPath;
  journal.folder = plan.folder;
  journal.files.reserve(moves.size());
  for (const Move& m : moves) journal.files.push_back({{plan.folder.device, m.inode}, m.from, m.via, m.to});
  return journal;
}

}  // namespace

RestoreReport recoverBatch(JournalStore& store, FolderService& folders, const StoredBatch& batch) {
  const BatchPlan& plan = trustedPlan(store, batch);
  const std::unique_ptr<Folder> folder = openBatchFolder(store, folders, batch.id, plan);
  const std::string prefix = folderPrefix(plan.folderPath);
  FolderNames names(*folder);

  RestoreReport report;
  report.folderPath = plan.folderPath;
  std::vector<Move> moves;
  std::vector<const std::string*> used;
  used.reserve(plan.files.size() * 3);
  // A name is where one file is; two hard links of one file in the batch must not both claim it.
  std::unordered_set<std::string_view> claimed;
  for (const PlannedFile& f : plan.files) {
    std::vector<const std::string*> journalNames{&f.original};
    if (!f.temporary.empty()) journalNames.push_back(&f.temporary);
    journalNames.push_back(&f.final);
    used.insert(used.end(), journalNames.begin(), journalNames.end());

    const std::string* at = nullptr;
    for (const std::string* name : journalNames) {
      if (names.exact(*name) == f.id.inode && claimed.count(*name) == 0) {
        at = name;
        break;
      }
    }
    if (at == nullptr) at = names.storedAs(f.id.inode, journalNames);
    if (at == nullptr || !claimed.insert(*at).second) {
      report.missing.push_back(prefix + f.original);
      continue;
    }
    if (*at != f.original) moves.push_back({f.id.inode, *at, {}, f.original});
  }
  checkTargets(names, moves, prefix);

  if (!moves.empty()) {
    chooseStops(names, moves, used);
    carryOut(store, *folder, journalFor(BatchKind::Recovery, batch.id, plan, moves), moves);
  }
  store.finish(batch.id, {BatchOutcome::RolledBack, 0});
  report.renamed = moves.size();
  return report;
}

RestoreReport undoBatch(JournalStore& store, FolderService& folders, BatchId id) {
  const StoredBatch batch = store.load(id);
  const BatchPlan& plan = trustedPlan(store, batch);
  if (!batch.end || (plan.kind != BatchKind::Numbering && plan.kind != BatchKind::Conversion)) {
    throw RunError(err::BadFileFormat, batch.source, "tej operacji nie można cofnąć");
  }
  const std::unique_ptr<Folder> folder = openBatchFolder(store, folders, id, plan);
  const std::string prefix = folderPrefix(plan.folderPath);
  FolderNames names(*folder);

  const std::size_t changed = filesChanged(plan, *batch.end);
  std::vector<Move> moves;
  std::vector<const std::string*> used;
  used.reserve(changed * 2);
  for (std::size_t i = 0; i < changed; ++i) {
    const PlannedFile& f = plan.files[i];
    used.push_back(&f.original);
    used.push_back(&f.final);
    if (f.final == f.original) continue;
    const std::string* at = &f.final;
    if (names.exact(f.final) != f.id.inode) at = names.storedAs(f.id.inode, {&f.final});
    if (at == nullptr) {
      const bool free = !names.holder(f.final);
      throw RunError(err::FileNotFound, prefix + f.final,
                     free ? "plik nie nosi już tej nazwy" : "pod tą nazwą jest teraz inny plik");
    }
    moves.push_back({f.id.inode, *at, {}, f.original});
  }
  checkTargets(names, moves, prefix);
  chooseStops(names, moves, used);
  // Written even when no name changes back, so that the batch leaves the history.
  carryOut(store, *folder, journalFor(BatchKind::Undo, id, plan, moves), moves);

  RestoreReport report;
  report.folderPath = plan.folderPath;
  report.renamed = moves.size();
  return report;
}

}  // namespace skorvatin
