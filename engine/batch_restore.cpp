#include "engine/batch_restore.h"

#include <algorithm>
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

  // A name the file with this inode is stored under that is not one of `known`.
  const std::string* otherName(std::uint64_t inode, const std::unordered_set<std::string_view>& known) const {
    const auto [begin, end] = byInode_.equal_range(inode);
    for (auto it = begin; it != end; ++it) {
      if (known.count(*it->second) == 0) return it->second;
    }
    return nullptr;
  }

 private:
  Folder& folder_;
  std::unordered_map<std::string, std::uint64_t> entries_;
  std::unordered_multimap<std::uint64_t, const std::string*> byInode_;
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
// folder) or by another file of the batch that moves away first. Gives the targets that are not.
std::vector<ChangedFile> takenTargets(FolderNames& names, const std::vector<Move>& moves,
                                      const std::string& prefix) {
  std::vector<ChangedFile> taken;
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
    taken.push_back({prefix + m.to, "nazwa jest zajęta przez inny plik"});
  }
  return taken;
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

// Where a batch's files are now, as a whole.
enum class Standing { HalfDone, AllFinal, AllOriginal };

Standing standingOf(FolderNames& names, const BatchPlan& plan) {
  bool allFinal = true;
  bool allOriginal = true;
  for (const PlannedFile& f : plan.files) {
    // Spelled exactly so: in a case-blind folder a case change answers to both of its names.
    allFinal = allFinal && names.exact(f.final) == f.id.inode;
    allOriginal = allOriginal && names.exact(f.original) == f.id.inode;
    if (!allFinal && !allOriginal) return Standing::HalfDone;
  }
  return allFinal ? Standing::AllFinal : Standing::AllOriginal;
}

// Finishes an unfinished batch whose files are all at one end of it; true when the batch needs no
// question (settled here, or another copy's to settle).
bool settle(JournalStore& store, FolderService& folders, BatchId id) {
  const std::unique_ptr<BatchHold> hold = store.hold(id);
  if (!hold) return true;
  const StoredBatch batch = store.load(id);
  if (batch.gone || batch.end) return true;
  if (!batch.plan || planProblem(*batch.plan)) return false;
  const BatchPlan& plan = *batch.plan;
  try {
    const std::unique_ptr<Folder> folder = folders.open(plan.folderPath);
    if (folder->id() != plan.folder) return false;
    FolderNames names(*folder);
    const Standing standing = standingOf(names, plan);
    if (standing == Standing::HalfDone) return false;
    // The names the files bear may still be only in memory; the end record must not be durable
    // before them.
    folder->sync();
    store.finish(id, standing == Standing::AllFinal ? BatchEnd{BatchOutcome::Done, plan.files.size()}
                                                    : BatchEnd{BatchOutcome::RolledBack, 0});
    return true;
  } catch (const RunError&) {
    // Whatever stands in the way here stands in the way of the restore too, which reports it.
    return false;
  }
}

// One batch of a chain back under its original names; `report` gathers what every batch did.
void recoverOne(JournalStore& store, FolderService& folders, const StoredBatch& batch, const BatchPlan& plan,
                RestoreReport& report) {
  const std::unique_ptr<Folder> folder = openBatchFolder(store, folders, batch.id, plan);
  const std::string prefix = folderPrefix(plan.folderPath);
  FolderNames names(*folder);

  std::vector<Move> moves;
  std::vector<const std::string*> used;
  used.reserve(plan.files.size() * 3);
  // A name is where one file is; two hard links of one file in the batch must not both claim it.
  std::unordered_set<std::string_view> claimed;
  std::vector<const PlannedFile*> notFound;
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
      notFound.push_back(&f);
      continue;
    }
    if (*at != f.original) moves.push_back({f.id.inode, *at, {}, f.original});
  }
  // A file that is in the folder under a name of nobody's journal was carried on since: by a newer
  // batch, or by hand. Giving it its old name would tear it out of whatever renamed it, and closing
  // the batch without it would leave the rest of the chain with nothing to go back to.
  std::vector<ChangedFile> renamedSince;
  std::vector<std::string> missing;
  for (const PlannedFile* f : notFound) {
    if (const std::string* now = names.otherName(f->id.inode, claimed)) {
      renamedSince.push_back({prefix + f->original, "plik nosi teraz nazwę „" + *now + "”"});
    } else {
      missing.push_back(prefix + f->original);
    }
  }
  if (renamedSince.empty()) renamedSince = takenTargets(names, moves, prefix);
  if (!renamedSince.empty()) {
    report.changedSince = std::move(renamedSince);
    return;
  }

  if (!moves.empty()) {
    chooseStops(names, moves, used);
    carryOut(store, *folder, journalFor(BatchKind::Recovery, batch.id, plan, moves), moves);
  }
  store.finish(batch.id, {BatchOutcome::RolledBack, 0});
  report.renamed += moves.size();
  report.missing.insert(report.missing.end(), missing.begin(), missing.end());
}

bool isUndoable(BatchKind kind) {
  return kind == BatchKind::Numbering || kind == BatchKind::Conversion;
}

}  // namespace

std::vector<PendingRestore> pendingRestores(JournalStore& store, FolderService& folders) {
  struct Entry {
    PendingRestore asked;
    BatchId takesBack = 0;
  };
  std::vector<Entry> entries;
  for (const StoredBatch& listed : store.unfinished()) {
    Entry e;
    e.asked.id = listed.id;
    if (listed.plan && !planProblem(*listed.plan)) {
      const BatchPlan& plan = *listed.plan;
      if (settle(store, folders, listed.id)) continue;
      e.asked = {listed.id, plan.kind, plan.kind, plan.folderPath, plan.files.size(), true};
      e.takesBack = plan.takesBack;
    }
    entries.push_back(std::move(e));
  }
  // A recovery that was cut off is asked about for the batch at the end of its chain; the batches
  // it was taking back are not asked about on their own.
  std::unordered_map<BatchId, const Entry*> byId;
  for (const Entry& e : entries) byId.emplace(e.asked.id, &e);
  std::unordered_set<BatchId> inChain;
  std::vector<PendingRestore> out;
  for (Entry& e : entries) {
    if (!e.asked.trusted || e.asked.kind != BatchKind::Recovery) continue;
    BatchId next = e.takesBack;
    BatchId from = e.asked.id;
    // Batches are numbered in order, so a chain that does not go back in time is no chain.
    for (auto it = byId.find(next); it != byId.end() && next < from && it->second->asked.trusted;
         it = byId.find(next)) {
      const PendingRestore& taken = it->second->asked;
      inChain.insert(next);
      e.asked.root = taken.kind;
      e.asked.folderPath = taken.folderPath;
      e.asked.fileCount = taken.fileCount;
      if (taken.kind != BatchKind::Recovery) break;
      from = next;
      next = it->second->takesBack;
    }
  }
  for (const Entry& e : entries) {
    if (inChain.count(e.asked.id) == 0) out.push_back(e.asked);
  }
  return out;
}

RestoreReport recoverBatch(JournalStore& store, FolderService& folders, BatchId id) {
  RestoreReport report;
  for (BatchId next = id; next != 0;) {
    const bool first = next == id;
    const std::unique_ptr<BatchHold> hold = store.hold(next);
    if (!hold) {
      if (first) report.leftAlone = LeftAlone::HeldElsewhere;
      break;
    }
    // Read again under the hold: what was asked about may have been settled by another copy since.
    const StoredBatch batch = store.load(next);
    if (batch.gone || (batch.plan && batch.end)) {
      if (first) report.leftAlone = LeftAlone::AlreadyFinished;
      break;
    }
    const BatchPlan& plan = trustedPlan(store, batch);
    if (first) report.folderPath = plan.folderPath;
    recoverOne(store, folders, batch, plan, report);
    if (!report.changedSince.empty() || plan.kind != BatchKind::Recovery || plan.takesBack >= next) break;
    next = plan.takesBack;
  }
  return report;
}

RestoreReport undoBatch(JournalStore& store, FolderService& folders, BatchId id) {
  RestoreReport report;
  const std::unique_ptr<BatchHold> hold = store.hold(id);
  if (!hold) {
    report.leftAlone = LeftAlone::HeldElsewhere;
    return report;
  }
  // Read again under the hold: another copy may have undone it since the history was read.
  const std::vector<FinishedBatch> history = store.history();
  if (std::none_of(history.begin(), history.end(), [id](const FinishedBatch& b) { return b.id == id; })) {
    report.leftAlone = LeftAlone::AlreadyFinished;
    return report;
  }
  const StoredBatch batch = store.load(id);
  const BatchPlan& plan = trustedPlan(store, batch);
  if (!batch.end || !isUndoable(plan.kind)) {
    throw RunError(err::BadFileFormat, batch.source, "tej operacji nie można cofnąć");
  }
  const std::unique_ptr<Folder> folder = openBatchFolder(store, folders, id, plan);
  const std::string prefix = folderPrefix(plan.folderPath);
  report.folderPath = plan.folderPath;
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
      report.changedSince.push_back(
          {prefix + f.final, free ? "plik nie nosi już tej nazwy" : "pod tą nazwą jest teraz inny plik"});
      continue;
    }
    moves.push_back({f.id.inode, *at, {}, f.original});
  }
  for (ChangedFile& taken : takenTargets(names, moves, prefix))
    report.changedSince.push_back(std::move(taken));
  if (!report.changedSince.empty()) return report;
  chooseStops(names, moves, used);
  // Written even when no name changes back, so that the batch leaves the history.
  carryOut(store, *folder, journalFor(BatchKind::Undo, id, plan, moves), moves);
  report.renamed = moves.size();
  return report;
}

void forgetBatch(JournalStore& store, BatchId id) {
  const std::unique_ptr<BatchHold> hold = store.hold(id);
  if (!hold) {
    throw RunError(err::PathFileAccess, store.load(id).source,
                   "inna kopia programu zajmuje się teraz tą operacją");
  }
  store.moveAside(id);
}

}  // namespace skorvatin
