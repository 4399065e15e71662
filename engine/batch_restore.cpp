#include "engine/batch_restore.h"

#include <algorithm>
#include <memory>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/folder_snapshot.h"
#include "engine/journal_history.h"
#include "engine/journaled_batch.h"
#include "engine/run_error.h"
#include "engine/transient_name.h"

namespace skorvatin {

namespace {

// The plan's files recognised in their folder as one listing shows it: by number where numbers
// last, checked against what a file under a reused number cannot share, and by size and time where
// numbers do not last.
class FolderNames {
 public:
  FolderNames(Folder& folder, const BatchPlan& plan)
      : folder_(folder), plan_(plan), snapshot_(folder), sameMount_(folder.id() == plan.folder) {
    readStamps();
  }

  // The stored name of whatever answers to `name`; "" for something the listing does not hold (a
  // mount point); nothing when the name is free.
  std::optional<std::string> holder(const std::string& name) const {
    const std::size_t i = snapshot_.holderOf(name);
    if (i == FolderSnapshot::npos) return std::nullopt;
    if (i == FolderSnapshot::outside) return std::string();
    return std::string(snapshot_.entry(i).name);
  }

  // Whether the entry stored under exactly `stored` is the plan's file `f`.
  bool holds(const std::string& stored, const PlannedFile& f) {
    const std::size_t i = snapshot_.find(stored);
    return i != FolderSnapshot::npos && holds(i, f);
  }

  // The stored names among `names` (the journal's spellings) under which the file `f` is now.
  std::vector<std::string> whereAmong(const PlannedFile& f, const std::vector<const std::string*>& names) {
    std::vector<std::string> found;
    for (const std::string* name : names) {
      const auto stored = holder(*name);
      if (stored && !stored->empty() && holds(*stored, f) &&
          std::find(found.begin(), found.end(), *stored) == found.end()) {
        found.push_back(*stored);
      }
    }
    // Files of one size and time told apart by the numbers of the mount they were made under, as
    // long as it is that mount: the folder still has its number from then.
    if (found.size() > 1 && plan_.identity != Identity::Lasting && sameMount_) {
      std::vector<std::string> numbered;
      for (const std::string& name : found) {
        if (snapshot_.entry(snapshot_.find(name)).inode == f.id.inode) numbered.push_back(name);
      }
      if (numbered.size() == 1) return numbered;
    }
    return found;
  }

  // The program's own stops on the way (see transient_name.h) that hold the file `f`: a crash
  // between the two steps of a move leaves it there, under a name no journal records.
  std::vector<std::string> inTransit(const PlannedFile& f) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < snapshot_.size(); ++i) {
      const std::string_view name = snapshot_.entry(i).name;
      if (isTransientName(name) && holds(i, f)) found.emplace_back(name);
    }
    return found;
  }

  // A name outside `known` under which the file `f` is stored now, when one entry alone can be it.
  std::optional<std::string> elsewhere(const PlannedFile& f,
                                       const std::unordered_set<std::string_view>& known) {
    std::vector<std::size_t> candidates;
    if (plan_.identity == Identity::Lasting || !f.stamp) {
      candidates = snapshot_.withInode(f.id.inode);
    } else {
      candidates.resize(snapshot_.size());
      std::iota(candidates.begin(), candidates.end(), std::size_t{0});
    }
    std::optional<std::string> found;
    for (const std::size_t i : candidates) {
      const std::string_view name = snapshot_.entry(i).name;
      if (known.count(name) != 0 || !holds(i, f)) continue;
      if (found) return std::nullopt;
      found = std::string(name);
    }
    return found;
  }

  FileId idAt(const std::string& stored) const { return snapshot_.idAt(snapshot_.find(stored)); }
  std::optional<FileStamp> stampOf(const std::string& stored) { return stampAt(snapshot_.find(stored)); }

 private:
  bool holds(std::size_t i, const PlannedFile& f) {
    if (plan_.identity != Identity::Lasting && f.stamp) {
      // Some drivers (fusefat) give a renamed file the time of the rename, in FAT's two-second
      // steps: a file of the batch's size under one of its names, changed since the batch began,
      // is the batch's as well.
      const std::optional<FileStamp>& now = stampAt(i);
      constexpr std::int64_t kFatStep = 2'000'000'000;
      return now && now->size == f.stamp->size &&
             (now->modified == f.stamp->modified ||
              (plan_.begun != 0 && now->modified >= plan_.begun - kFatStep));
    }
    if (snapshot_.entry(i).inode != f.id.inode) return false;
    if (!f.stamp) return true;  // a journal from before stamps were kept
    const std::optional<FileStamp>& now = stampAt(i);
    if (!now) return false;
    if (f.stamp->born != 0 && now->born != 0) return now->born == f.stamp->born;
    return now->size == f.stamp->size && now->modified == f.stamp->modified;
  }

  // The stamps of the entries under the plan's names, asked for in one request, as a share answers
  // many look-ups at once; the checks then ask for them file by file.
  void readStamps() {
    std::vector<std::size_t> entries;
    std::unordered_set<std::size_t> seen;
    for (const PlannedFile& f : plan_.files) {
      if (!f.stamp) continue;
      for (const std::string* name : {&f.original, &f.temporary, &f.final}) {
        if (name->empty()) continue;
        const std::size_t i = snapshot_.holderOf(*name);
        if (i != FolderSnapshot::npos && i != FolderSnapshot::outside && seen.insert(i).second) {
          entries.push_back(i);
        }
      }
    }
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const std::size_t i : entries) names.emplace_back(snapshot_.entry(i).name);
    std::vector<std::optional<FileStamp>> stamps = folder_.stampsOf(names);
    for (std::size_t k = 0; k < entries.size(); ++k) stamps_.emplace(entries[k], stamps[k]);
  }

  const std::optional<FileStamp>& stampAt(std::size_t i) {
    const auto it = stamps_.find(i);
    if (it != stamps_.end()) return it->second;
    return stamps_.emplace(i, folder_.stampOf(std::string(snapshot_.entry(i).name))).first->second;
  }

  Folder& folder_;
  const BatchPlan& plan_;
  FolderSnapshot snapshot_;
  bool sameMount_;
  std::unordered_map<std::size_t, std::optional<FileStamp>> stamps_;
};

// One file on its way back: from where it is, through a name nothing else uses, to where it
// belongs. The stop on the way is what lets names that form a cycle (a numbering run can swap two
// names) be given back without ever needing a name that is still taken.
struct Move {
  FileId id;
  std::optional<FileStamp> stamp;
  std::string from;
  std::string via;
  std::string to;
};

Move moveOf(FolderNames& names, const std::string& from, const std::string& to) {
  return {names.idAt(from), names.stampOf(from), from, {}, to};
}

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

bool sameVolume(const VolumeId& now, const VolumeId& then) {
  const bool byUuid = !then.uuid.empty();
  return (byUuid ? now.uuid == then.uuid : now.label == then.label) && now.inside == then.inside;
}

// Whether the folder opened is the batch's. A volume known by UUID or label names it wherever the
// volume is mounted; where numbers last, the folder's own number must agree as well.
bool isBatchFolder(Folder& folder, const BatchPlan& plan) {
  if (!plan.volume.known()) return folder.id() == plan.folder;
  if (!sameVolume(folder.volume(), plan.volume)) return false;
  return plan.identity != Identity::Lasting || folder.id().inode == plan.folder.inode;
}

// The batch's folder: at its path when the folder there is the batch's, else wherever its volume is
// mounted now. A folder that is not to be found is error 76, which says where it was and, for a
// volume that is not mounted, which medium to put in; the journal stays for a later start.
std::unique_ptr<Folder> openBatchFolder(FolderService& folders, const BatchPlan& plan) {
  try {
    std::unique_ptr<Folder> folder = folders.open(plan.folderPath);
    if (isBatchFolder(*folder, plan)) return folder;
  } catch (const RunError& e) {
    if (e.number() != err::PathNotFound) throw;
  }
  if (!plan.volume.known()) {
    throw RunError(err::PathNotFound, plan.folderPath, "tego folderu nie ma teraz w tym miejscu");
  }
  const std::vector<std::string> mounted = folders.whereIs(plan.volume);
  for (const std::string& path : mounted) {
    try {
      std::unique_ptr<Folder> folder = folders.open(path);
      if (isBatchFolder(*folder, plan)) return folder;
    } catch (const RunError&) {
      // Not there after all: another mount of the volume may hold it.
    }
  }
  const std::string& medium = plan.volume.label.empty() ? plan.volume.uuid : plan.volume.label;
  throw RunError(err::PathNotFound, plan.folderPath,
                 mounted.empty() ? "włóż nośnik „" + medium + "”, na którym jest ten folder"
                                 : "tego folderu nie ma teraz na nośniku „" + medium + "”");
}

// Every target must be free, or held by the moving file itself (a case variant in a case-blind
// folder) or by another file of the batch that moves away first. Gives the targets that are not.
std::vector<ChangedFile> takenTargets(FolderNames& names, const std::vector<Move>& moves,
                                      const std::string& prefix) {
  std::vector<ChangedFile> taken;
  std::unordered_set<std::string_view> leaving;
  leaving.reserve(moves.size());
  for (const Move& m : moves) leaving.insert(m.from);
  for (const Move& m : moves) {
    const auto holder = names.holder(m.to);
    if (!holder || *holder == m.from || leaving.count(*holder) != 0) continue;
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
      std::string candidate = transientName(std::to_string(++n));
      if (taken.count(candidate) == 0 && !names.holder(candidate)) {
        m.via = std::move(candidate);
        break;
      }
    }
  }
}

// Writes the journal, moves every file in two passes and finishes the journal. A rename that fails
// puts back every rename done so far, newest first; only a complete put-back finishes the journal
// (as rolled back), otherwise it stays for the next start to offer.
void carryOut(JournalStore& store, Folder& folder, const BatchPlan& journal, const std::vector<Move>& moves) {
  JournaledBatch batch(&store, folder);
  batch.begin(journal);
  std::size_t done = 0;
  try {
    for (const Move& m : moves) {
      folder.rename(m.from, m.via);
      ++done;
    }
    for (const Move& m : moves) {
      folder.rename(m.via, m.to);
      ++done;
    }
  } catch (const RunError& failure) {
    const StepAt step = [&moves](std::size_t k) -> RenameStep {
      if (k < moves.size()) return {k, &moves[k].from, &moves[k].via};
      const std::size_t i = k - moves.size();
      return {i, &moves[i].via, &moves[i].to};
    };
    throw batch.rollBack(failure, moves.size(), done, step);
  }
  batch.finish({BatchOutcome::Done, moves.size()});
}

// The restore's own journal: the folder as it is now, which may be under another mount point.
BatchPlan journalFor(BatchKind kind, BatchId takesBack, Folder& folder, const std::vector<Move>& moves) {
  BatchPlan journal = planIn(kind, folder);
  journal.takesBack = takesBack;
  journal.files.reserve(moves.size());
  for (const Move& m : moves) journal.files.push_back({m.id, m.from, m.via, m.to, m.stamp});
  return journal;
}

// Where a batch's files are now, as a whole.
enum class Standing { HalfDone, AllFinal, AllOriginal };

Standing standingOf(FolderNames& names, const BatchPlan& plan) {
  bool allFinal = true;
  bool allOriginal = true;
  bool renames = false;
  for (const PlannedFile& f : plan.files) {
    // Spelled exactly so: in a case-blind folder a case change answers to both of its names.
    allFinal = allFinal && names.holds(f.final, f);
    allOriginal = allOriginal && names.holds(f.original, f);
    renames = renames || f.final != f.original;
    if (!allFinal && !allOriginal) return Standing::HalfDone;
  }
  // Files told apart by size and time alone can look like both ends of a swap.
  if (allFinal && allOriginal && renames) return Standing::HalfDone;
  return allFinal ? Standing::AllFinal : Standing::AllOriginal;
}

// What the start makes of one unfinished batch before asking about it.
struct Settled {
  bool needsQuestion = false;
  std::string away;  // why its folder cannot be reached now
};

// Finishes an unfinished batch whose files are all at one end of it. A batch that another copy
// holds is that copy's to settle and to ask about.
Settled settle(JournalStore& store, FolderService& folders, BatchId id) {
  const std::unique_ptr<BatchHold> hold = store.hold(id);
  if (!hold) return {};
  const StoredBatch batch = store.load(id);
  if (batch.gone || batch.end) return {};
  if (!batch.plan || planProblem(*batch.plan)) return {true, {}};
  const BatchPlan& plan = *batch.plan;
  try {
    const std::unique_ptr<Folder> folder = openBatchFolder(folders, plan);
    FolderNames names(*folder, plan);
    const Standing standing = standingOf(names, plan);
    if (standing == Standing::HalfDone) return {true, {}};
    // The names the files bear may still be only in memory: finishing syncs the folder first.
    JournaledBatch::resume(store, *folder, id)
        .finish(standing == Standing::AllFinal ? BatchEnd{BatchOutcome::Done, plan.files.size()}
                                               : BatchEnd{BatchOutcome::RolledBack, 0});
    return {};
  } catch (const RunError& e) {
    if (e.number() == err::PathNotFound) return {true, e.detail()};
    // Whatever else stands in the way here stands in the way of the restore too, which reports it.
    return {true, {}};
  }
}

// One batch of a chain back under its original names; `report` gathers what every batch did.
void recoverOne(JournalStore& store, FolderService& folders, const StoredBatch& batch, const BatchPlan& plan,
                RestoreReport& report) {
  const std::unique_ptr<Folder> folder = openBatchFolder(folders, plan);
  const std::string prefix = folderPrefix(folder->path());
  FolderNames names(*folder, plan);

  // Where each file is now: under exactly one of its journal names, or it counts as not found. A
  // name can be where one file is only: two hard links of one file that could both be at one name
  // are both not found; files told apart by size and time alone that could be at the same names
  // cannot be told apart, and keep the batch unfinished rather than lose a name.
  std::vector<std::optional<std::string>> at(plan.files.size());
  std::vector<bool> ambiguous(plan.files.size(), false);
  std::unordered_map<std::string, int> claims;
  std::vector<const std::string*> used;
  used.reserve(plan.files.size() * 3);
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    const PlannedFile& f = plan.files[i];
    std::vector<const std::string*> journalNames{&f.original};
    if (!f.temporary.empty()) journalNames.push_back(&f.temporary);
    journalNames.push_back(&f.final);
    used.insert(used.end(), journalNames.begin(), journalNames.end());
    std::vector<std::string> found = names.whereAmong(f, journalNames);
    if (found.empty()) found = names.inTransit(f);
    if (found.size() == 1) at[i] = found.front();
    ambiguous[i] = found.size() > 1;
    for (const std::string& name : found) ++claims[name];
  }
  std::unordered_set<std::string_view> claimed;
  for (std::size_t i = 0; i < at.size(); ++i) {
    if (at[i] && claims[*at[i]] > 1) {
      at[i].reset();
      ambiguous[i] = true;
    }
    if (at[i]) claimed.insert(*at[i]);
    ambiguous[i] = ambiguous[i] && plan.identity != Identity::Lasting;
  }

  // A file that is in the folder under a name of nobody's journal was carried on since: by a newer
  // batch, or by hand. Giving it its old name would tear it out of whatever renamed it, and closing
  // the batch without it would leave the rest of the chain with nothing to go back to.
  std::vector<Move> moves;
  std::vector<ChangedFile> renamedSince;
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < at.size(); ++i) {
    const PlannedFile& f = plan.files[i];
    if (at[i]) {
      if (*at[i] != f.original) moves.push_back(moveOf(names, *at[i], f.original));
    } else if (ambiguous[i]) {
      renamedSince.push_back(
          {prefix + f.original, "nie da się go odróżnić od innego pliku o tej samej wielkości i dacie"});
    } else if (const auto now = names.elsewhere(f, claimed)) {
      renamedSince.push_back({prefix + f.original, "plik nosi teraz nazwę „" + *now + "”"});
    } else {
      missing.push_back(prefix + f.original);
    }
  }
  if (renamedSince.empty()) renamedSince = takenTargets(names, moves, prefix);
  if (!renamedSince.empty()) {
    report.changedSince = std::move(renamedSince);
    return;
  }

  if (!moves.empty()) {
    chooseStops(names, moves, used);
    carryOut(store, *folder, journalFor(BatchKind::Recovery, batch.id, *folder, moves), moves);
  }
  JournaledBatch::resume(store, *folder, batch.id).finish({BatchOutcome::RolledBack, 0});
  report.folderPath = folder->path();
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
      Settled settled = settle(store, folders, listed.id);
      if (!settled.needsQuestion) continue;
      e.asked = {
          listed.id, plan.kind, plan.kind, plan.folderPath, plan.files.size(), true, std::move(settled.away)};
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

namespace {

// The chain that starts with batch `id`; `shown` gathers the folders it found or looked for.
RestoreReport recoverChain(JournalStore& store, FolderService& folders, BatchId id,
                           std::vector<std::string>& shown) {
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
    shown.push_back(plan.folderPath);
    recoverOne(store, folders, batch, plan, report);
    shown.push_back(report.folderPath);
    if (!report.changedSince.empty() || plan.kind != BatchKind::Recovery || plan.takesBack >= next) break;
    next = plan.takesBack;
  }
  return report;
}

RestoreReport undoOne(JournalStore& store, FolderService& folders, BatchId id) {
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
  const std::unique_ptr<Folder> folder = openBatchFolder(folders, plan);
  const std::string prefix = folderPrefix(folder->path());
  report.folderPath = folder->path();
  FolderNames names(*folder, plan);

  const std::size_t changed = filesChanged(plan, *batch.end);
  std::vector<Move> moves;
  std::vector<const std::string*> used;
  used.reserve(changed * 2);
  for (std::size_t i = 0; i < changed; ++i) {
    const PlannedFile& f = plan.files[i];
    used.push_back(&f.original);
    used.push_back(&f.final);
    if (f.final == f.original) continue;
    const std::vector<std::string> at = names.whereAmong(f, {&f.final});
    if (at.size() != 1) {
      const bool free = !names.holder(f.final);
      report.changedSince.push_back(
          {prefix + f.final, free ? "plik nie nosi już tej nazwy" : "pod tą nazwą jest teraz inny plik"});
      continue;
    }
    moves.push_back(moveOf(names, at.front(), f.original));
  }
  for (ChangedFile& taken : takenTargets(names, moves, prefix))
    report.changedSince.push_back(std::move(taken));
  if (!report.changedSince.empty()) return report;
  chooseStops(names, moves, used);
  // Written even when no name changes back, so that the batch leaves the history.
  carryOut(store, *folder, journalFor(BatchKind::Undo, id, *folder, moves), moves);
  report.renamed = moves.size();
  return report;
}

// The list re-read after a restore, as after any operation: a failed re-read is told after what
// stopped the restore, or on its own.
RestoreReport reReadAfter(FileList& list, const EventPump& pump,
                          const std::function<RestoreReport()>& restore,
                          const std::function<bool()>& reRead) {
  std::optional<RunError> failed;
  RestoreReport report;
  try {
    report = restore();
  } catch (const RunError& e) {
    failed = e;
  }
  if (reRead()) {
    try {
      refreshList(list, pump);
    } catch (const RunError& later) {
      failed = failed ? withLaterFailure(*failed, later) : later;
    }
  }
  if (failed) throw *failed;
  return report;
}

}  // namespace

RestoreReport recoverBatch(JournalStore& store, FileList& list, const EventPump& pump, BatchId id) {
  std::vector<std::string> shown;
  return reReadAfter(
      list, pump, [&] { return recoverChain(store, list.folders(), id, shown); },
      [&] { return std::find(shown.begin(), shown.end(), list.path()) != shown.end(); });
}

RestoreReport undoBatch(JournalStore& store, FileList& list, const EventPump& pump, BatchId id) {
  return reReadAfter(
      list, pump, [&] { return undoOne(store, list.folders(), id); }, [] { return true; });
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
