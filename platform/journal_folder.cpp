#include "platform/journal_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "engine/journal_format.h"
#include "engine/journal_history.h"
#include "engine/path.h"
#include "engine/run_error.h"
#include "engine/transient_name.h"
#include "platform/fd.h"
#include "platform/no_replace_rename.h"

namespace skorvatin::platform {

namespace {

constexpr const char* kAside = "aside";
constexpr std::size_t kIdDigits = 20;
// Far beyond any plan the program writes (32767 files with names of 255 bytes come to 25 MB).
constexpr off_t kLargestJournal = off_t{1} << 30;

std::string idText(BatchId id) {
  char buffer[kIdDigits + 1];
  std::snprintf(buffer, sizeof buffer, "%020llu", static_cast<unsigned long long>(id));
  return buffer;
}

std::string planName(BatchId id) {
  return "batch-" + idText(id) + ".plan";
}
std::string endName(BatchId id) {
  return "batch-" + idText(id) + ".end";
}

// The id in a journal's file name, and whether the file is a plan or an end record.
struct Named {
  BatchId id = 0;
  bool plan = false;
};

std::optional<Named> parseName(std::string_view name) {
  constexpr std::string_view head = "batch-";
  if (name.substr(0, head.size()) != head || name.size() < head.size() + kIdDigits) return std::nullopt;
  const std::string_view digits = name.substr(head.size(), kIdDigits);
  const std::string_view tail = name.substr(head.size() + kIdDigits);
  if (tail != ".plan" && tail != ".end") return std::nullopt;
  BatchId id = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<BatchId>(c - '0');
    if (id > (UINT64_MAX - digit) / 10) return std::nullopt;
    id = id * 10 + digit;
  }
  if (id == 0) return std::nullopt;
  return Named{id, tail == ".plan"};
}

struct Listing {
  std::set<BatchId> plans;
  std::set<BatchId> ends;
  BatchId highest = 0;
};

// Calls `visit` with the name of every entry of `dir`, read from the start through the folder's
// own descriptor: a listing of its own would cost a share a request more. 0, or errno when the
// folder cannot be read.
template <typename Visit>
[[nodiscard]] int forEachName(int dir, Visit&& visit) {
  if (::lseek(dir, 0, SEEK_SET) != 0) return errno;
  alignas(dirent64) char buffer[16384];
  for (;;) {
    const ssize_t got = ::getdents64(dir, buffer, sizeof buffer);
    if (got < 0) return errno;
    if (got == 0) return 0;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      visit(std::string_view(entry->d_name));
      at += entry->d_reclen;
    }
  }
}

// The journals in `dir`; 0, or errno when the folder cannot be read.
[[nodiscard]] int listInto(int dir, Listing& out) {
  return forEachName(dir, [&out](std::string_view name) {
    const auto named = parseName(name);
    if (!named) return;
    (named->plan ? out.plans : out.ends).insert(named->id);
    out.highest = std::max(out.highest, named->id);
  });
}

Listing list(int dir, const std::string& path) {
  Listing out;
  if (const int e = listInto(dir, out); e != 0) throw RunError::fromErrno(e, path);
  return out;
}

// The highest number in use, journals put aside included, so that a number is never given twice.
BatchId highestId(int dir, const std::string& path) {
  BatchId highest = list(dir, path).highest;
  const Fd aside(::openat(dir, kAside, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (aside.valid()) highest = std::max(highest, list(aside.get(), joinedPath(path, kAside)).highest);
  return highest;
}

// Reads one journal file, refusing anything but a regular file of this user. Gives the problem in
// Polish, or nothing; `lock` keeps the file open when the caller wants to test its lock.
std::optional<std::string> readFile(int dir, const std::string& name, std::string& bytes,
                                    Fd* lock = nullptr) {
  Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    if (errno == ELOOP) return "dowiązanie symboliczne zamiast dziennika";
    return std::string("nie można otworzyć dziennika: ") + std::strerror(errno);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0)
    return std::string("nie można odczytać dziennika: ") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "to nie jest zwykły plik";
  if (st.st_uid != ::geteuid()) return "dziennik należy do innego użytkownika";
  if (st.st_size > kLargestJournal) return "dziennik jest za duży";
  bytes.clear();
  bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::string("nie można odczytać dziennika: ") + std::strerror(errno);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  if (lock != nullptr) lock->reset(fd.release());
  return std::nullopt;
}

[[nodiscard]] bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

[[nodiscard]] int fsyncRetrying(int fd) {
  int r = 0;
  do {
    r = ::fsync(fd);
  } while (r != 0 && errno == EINTR);
  return r;
}

// Moves `from` to `to` in the same folder without ever replacing, as every move of the program
// does. 0 or errno (EEXIST: taken). A journal left under both names fails too: the caller drops its
// temporary name, as it does on any failure, and a journal under one name stays.
[[nodiscard]] int placeNoReplace(int dir, const std::string& from, const std::string& to) {
  return NoReplaceRename().move(dir, from.c_str(), dir, to.c_str()).error;
}

// A fresh file of this user's alone, under a name no journal has; the caller writes it and moves it.
// It is locked from the start, so that a temporary file whose lock is free was left by a process
// that has gone, and can be cleared away.
struct TempFile {
  Fd fd;
  std::string name;
};

void makeTemp(int dir, TempFile& temp, const std::string& forFile) {
  int e = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp.name = temporaryName(kJournalTemporaryPrefix);
    temp.fd.reset(
        ::openat(dir, temp.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!temp.fd.valid()) {
      e = errno;
      if (e == EEXIST) continue;
      break;
    }
    // The mode of a new file is cut by the umask, never widened; this makes it exactly 0600. The
    // lock of a plan is what tells other copies of the program that its batch runs.
    if (::fchmod(temp.fd.get(), 0600) == 0 && ::flock(temp.fd.get(), LOCK_EX | LOCK_NB) == 0) return;
    e = errno;
    temp.fd.reset();
    // The failure above is what the user is told; a file that stays is cleared at the next start.
    (void)::unlinkat(dir, temp.name.c_str(), 0);
    break;
  }
  throw RunError::fromErrno(e, forFile);
}

// Temporary files that a process killed while it placed a journal left behind: their lock went
// with the process. Only tidying; whatever cannot be cleared stays for the next start.
void clearLeftovers(int dir) {
  std::vector<std::string> names;
  const int e = forEachName(dir, [&names](std::string_view name) {
    if (name.substr(0, kJournalTemporaryPrefix.size()) == kJournalTemporaryPrefix) names.emplace_back(name);
  });
  if (e != 0) return;
  bool removed = false;
  for (const std::string& name : names) {
    const Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    removed = ::unlinkat(dir, name.c_str(), 0) == 0 || removed;
  }
  // Tidying only: a removal that a crash undoes is made again at the next start.
  if (removed) (void)fsyncRetrying(dir);
}

// Writes `bytes` under a temporary name and syncs it; the caller moves it into place. On failure
// the temporary file is gone and RunError names `forFile`.
using Sink = std::function<void(std::string_view)>;

void writeTemp(int dir, TempFile& temp, const std::function<void(const Sink&)>& produce,
               const std::string& forFile) {
  makeTemp(dir, temp, forFile);
  int failure = 0;
  produce([&](std::string_view piece) {
    if (failure == 0 && !writeAll(temp.fd.get(), piece)) failure = errno;
  });
  if (failure == 0 && fsyncRetrying(temp.fd.get()) != 0) failure = errno;
  if (failure != 0) {
    temp.fd.reset();
    // The write's failure is what the user is told; a file that stays is cleared at the next start.
    (void)::unlinkat(dir, temp.name.c_str(), 0);
    throw RunError::fromErrno(failure, forFile);
  }
}

EndRecord headOf(BatchId id, const BatchPlan& plan) {
  return {id, plan.kind, plan.takesBack, plan.files.size(), plan.folderPath, {}};
}

bool sameHead(const EndRecord& a, const EndRecord& b) {
  return a.batch == b.batch && a.kind == b.kind && a.takesBack == b.takesBack && a.fileCount == b.fileCount &&
         a.folderPath == b.folderPath;
}

}  // namespace

std::string defaultJournalFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return joinedPath(normalisedPath(state), "skorvatin");
  std::string home;
  const char* env = std::getenv("HOME");
  if (env != nullptr && env[0] == '/') {
    home = env;
  } else {
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        pw.pw_dir != nullptr && pw.pw_dir[0] == '/') {
      home = pw.pw_dir;
    }
  }
  if (home.empty())
    throw RunError(err::PathNotFound, "~/.local/state/skorvatin", "nie wiadomo, gdzie jest folder domowy");
  return joinedPath(normalisedPath(home), ".local/state/skorvatin");
}

JournalFolder::JournalFolder(std::string folder) : folder_(std::move(folder)) {}

JournalFolder::~JournalFolder() = default;

int JournalFolder::openFolder(bool create) const {
  const auto openIt = [this] {
    return Fd(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  };
  Fd fd = openIt();
  // ENOTDIR: a step of the path is a file; making the steps says which one.
  if (!fd.valid() && (errno == ENOENT || errno == ENOTDIR) && create) {
    // Every missing step of the path is made private to the user, as a state folder should be, and
    // its parent synced: a journal in a folder that a power cut takes away would be no use.
    std::size_t slash = folder_.find('/', 1);
    for (;;) {
      const std::string step = folder_.substr(0, slash);
      if (::mkdir(step.c_str(), 0700) == 0) {
        const Fd parent(::open(parentPath(step).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!parent.valid() || fsyncRetrying(parent.get()) != 0) throw RunError::fromErrno(errno, step);
      } else if (errno != EEXIST) {
        throw RunError::fromErrno(errno, step);
      }
      if (slash == std::string::npos) break;
      slash = folder_.find('/', slash + 1);
    }
    fd = openIt();
  }
  if (!fd.valid()) {
    if (errno == ENOENT && !create) return -1;
    if (errno == ELOOP || errno == ENOTDIR) {
      throw RunError(err::PathFileAccess, folder_, "w miejscu folderu dzienników jest dowiązanie albo plik");
    }
    throw RunError::fromErrno(errno, folder_);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw RunError::fromErrno(errno, folder_);
  if (st.st_uid != ::geteuid()) {
    throw RunError(err::PermissionDenied, folder_, "folder dzienników należy do innego użytkownika");
  }
  // Others lose what they were given; the user's own bits stay as the user set them.
  if ((st.st_mode & 077) != 0 && ::fchmod(fd.get(), st.st_mode & 0700) != 0)
    throw RunError::fromErrno(errno, folder_);
  return fd.release();
}

BatchId JournalFolder::begin(const BatchPlan& plan) {
  if (auto problem = nameProblem(plan)) throw RunError(err::BadFileName, plan.folderPath, *problem);
  const Fd dir(openFolder(true));
  BatchId id = highestId(dir.get(), folder_) + 1;

  TempFile temp;
  // The file is locked before it is in place, so no other copy of the program ever sees it unlocked
  // while the batch runs; the lock goes when the process does, however it ends.
  writeTemp(
      dir.get(), temp, [&plan](const Sink& write) { writePlan(plan, write); },
      joinedPath(folder_, planName(id)));
  // Another copy of the program may take the same number at the same moment: the loser moves on.
  int e = EEXIST;
  for (int attempt = 0; attempt < 1000 && e == EEXIST; ++attempt) {
    e = placeNoReplace(dir.get(), temp.name, planName(id));
    if (e == EEXIST) ++id;
  }
  const std::string path = joinedPath(folder_, planName(id));
  if (e != 0) {
    // The placing's failure is what the user is told; a file that stays is cleared at the next start.
    (void)::unlinkat(dir.get(), temp.name.c_str(), 0);
    throw RunError::fromErrno(e, path);
  }
  if (fsyncRetrying(dir.get()) != 0) {
    e = errno;
    // Not durable means the batch must not start; a journal for a batch that never ran would only
    // bring up a needless question at the next start. Should it stay all the same, its lock is
    // free, so the next start offers it and finds every file where it was.
    (void)::unlinkat(dir.get(), planName(id).c_str(), 0);
    throw RunError::fromErrno(e, path);
  }
  running_[id] = {std::move(temp.fd), headOf(id, plan)};
  return id;
}

void JournalFolder::finish(BatchId id, BatchEnd end) {
  EndRecord record;
  if (const auto it = running_.find(id); it != running_.end()) {
    record = it->second.head;
  } else {
    const StoredBatch stored = load(id);
    if (!stored.plan) throw RunError(err::BadFileFormat, stored.source, stored.problem);
    record = headOf(id, *stored.plan);
  }
  record.end = end;
  const std::string path = joinedPath(folder_, endName(id));
  if (auto problem = endProblem(end, record.fileCount)) throw RunError(err::BadFileFormat, path, *problem);

  const Fd dir(openFolder(false));
  if (dir.get() < 0) throw RunError(err::PathNotFound, folder_);
  TempFile temp;
  const std::string bytes = writeEnd(record);
  writeTemp(
      dir.get(), temp, [&bytes](const Sink& write) { write(bytes); }, path);
  const int e = placeNoReplace(dir.get(), temp.name, endName(id));
  if (e != 0) {
    // The placing's failure is what the user is told; a file that stays is cleared at the next start.
    (void)::unlinkat(dir.get(), temp.name.c_str(), 0);
    throw RunError::fromErrno(e, path);
  }
  if (fsyncRetrying(dir.get()) != 0) throw RunError::fromErrno(errno, path);
  running_.erase(id);
  knownEnds_.insert_or_assign(id, std::move(record));
  prune(dir.get());
}

void JournalFolder::prune(int dir) {
  // Only tidying: the batch is finished whatever happens here, so a failure just leaves the files.
  Listing names;
  if (listInto(dir, names) != 0) return;
  const std::vector<EndRecord> ends = finishedEnds(dir, names.plans, names.ends);
  bool removed = false;
  for (const BatchId id : outdatedBatches(ends, kKeptHistory)) {
    // The plan goes first: a plan without its end would read as a batch cut off.
    if (::unlinkat(dir, planName(id).c_str(), 0) == 0) {
      // An end whose plan has gone is no batch: nothing reads it, and it only takes room.
      (void)::unlinkat(dir, endName(id).c_str(), 0);
      removed = true;
    }
  }
  // A removal that a crash undoes is made again after the next batch.
  if (removed) (void)fsyncRetrying(dir);
}

std::vector<EndRecord> JournalFolder::finishedEnds(int dir, const std::set<BatchId>& plans,
                                                   const std::set<BatchId>& ends) {
  std::erase_if(knownEnds_, [&ends](const auto& known) { return ends.count(known.first) == 0; });
  std::vector<EndRecord> out;
  for (const BatchId id : ends) {
    if (plans.count(id) == 0) continue;
    if (const auto it = knownEnds_.find(id); it != knownEnds_.end()) {
      out.push_back(it->second);
      continue;
    }
    std::string bytes;
    if (readFile(dir, endName(id), bytes)) continue;
    EndRead read = readEnd(bytes);
    if (!read.record || read.record->batch != id) continue;
    knownEnds_.emplace(id, *read.record);
    out.push_back(std::move(*read.record));
  }
  return out;
}

StoredBatch JournalFolder::load(BatchId id) {
  StoredBatch out;
  out.id = id;
  out.source = joinedPath(folder_, planName(id));
  const Fd dir(openFolder(false));
  if (dir.get() < 0) {
    out.problem = "nie ma folderu dzienników";
    return out;
  }
  std::string bytes;
  if (auto problem = readFile(dir.get(), planName(id), bytes)) {
    struct stat st {};
    out.gone = ::fstatat(dir.get(), planName(id).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    out.problem = std::move(*problem);
    return out;
  }
  PlanRead plan = readPlan(bytes);
  if (!plan.plan) {
    out.problem = std::move(plan.problem);
    return out;
  }
  struct stat st {};
  if (::fstatat(dir.get(), endName(id).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    std::optional<std::string> problem = readFile(dir.get(), endName(id), bytes);
    if (!problem) {
      EndRead end = readEnd(bytes);
      if (!end.record) {
        problem = std::move(end.problem);
      } else if (!sameHead(*end.record, headOf(id, *plan.plan))) {
        problem = "nie pasuje do dziennika";
      } else {
        out.end = end.record->end;
      }
    }
    if (problem) {
      out.source = joinedPath(folder_, endName(id));
      out.problem = "zapis końca operacji: " + *problem;
      return out;
    }
  }
  out.plan = std::move(plan.plan);
  return out;
}

std::vector<StoredBatch> JournalFolder::unfinished() {
  std::vector<StoredBatch> out;
  const Fd dir(openFolder(false));
  if (dir.get() < 0) return out;
  clearLeftovers(dir.get());
  const Listing names = list(dir.get(), folder_);
  std::set<BatchId> finished;
  for (const EndRecord& end : finishedEnds(dir.get(), names.plans, names.ends)) finished.insert(end.batch);
  for (auto it = names.plans.rbegin(); it != names.plans.rend(); ++it) {
    const BatchId id = *it;
    if (running_.count(id) != 0) continue;
    if (names.ends.count(id) != 0) {
      // Finished, going by the end record alone. One that cannot be read leaves the batch's state
      // unknown: then the whole journal is read, for the reason to give.
      if (finished.count(id) != 0) continue;
      StoredBatch stored = load(id);
      if (!stored.plan) out.push_back(std::move(stored));
      continue;
    }
    std::string bytes;
    Fd lock;
    StoredBatch stored;
    stored.id = id;
    stored.source = joinedPath(folder_, planName(id));
    if (auto problem = readFile(dir.get(), planName(id), bytes, &lock)) {
      stored.problem = std::move(*problem);
    } else {
      // Locked: the batch runs in another copy of the program, or is held by one. A lock that cannot
      // even be tried says nothing either way, and a batch that may be running is left alone.
      if (::flock(lock.get(), LOCK_SH | LOCK_NB) != 0) continue;
      PlanRead plan = readPlan(bytes);
      stored.plan = std::move(plan.plan);
      stored.problem = std::move(plan.problem);
    }
    out.push_back(std::move(stored));
  }
  return out;
}

std::vector<FinishedBatch> JournalFolder::history() {
  const Fd dir(openFolder(false));
  if (dir.get() < 0) return {};
  const Listing names = list(dir.get(), folder_);
  return undoHistory(finishedEnds(dir.get(), names.plans, names.ends));
}

void JournalFolder::moveAside(BatchId id) {
  const Fd dir(openFolder(false));
  if (dir.get() < 0) throw RunError(err::PathNotFound, folder_);
  const std::string asidePath = joinedPath(folder_, kAside);
  if (::mkdirat(dir.get(), kAside, 0700) != 0 && errno != EEXIST) throw RunError::fromErrno(errno, asidePath);
  const Fd aside(::openat(dir.get(), kAside, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!aside.valid()) throw RunError::fromErrno(errno, asidePath);
  struct stat st {};
  if (::fstat(aside.get(), &st) != 0) throw RunError::fromErrno(errno, asidePath);
  if (st.st_uid != ::geteuid()) {
    throw RunError(err::PermissionDenied, asidePath, "folder należy do innego użytkownika");
  }
  for (const std::string& name : {planName(id), endName(id)}) {
    if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    // Whatever lies in the way there stays; this one gets a name of its own.
    std::string target = name;
    NoReplaceRename moves;
    for (int n = 1;; ++n) {
      const int e = moves.move(dir.get(), name.c_str(), aside.get(), target.c_str()).error;
      if (e == 0) break;
      if (e != EEXIST || n > 1000) throw RunError::fromErrno(e, joinedPath(folder_, name));
      target = name + "." + std::to_string(n);
    }
  }
  // Both folders changed; the move is not done until both say so.
  if (fsyncRetrying(aside.get()) != 0) throw RunError::fromErrno(errno, asidePath);
  if (fsyncRetrying(dir.get()) != 0) throw RunError::fromErrno(errno, folder_);
  running_.erase(id);
}

namespace {

class FileHold final : public BatchHold {
 public:
  explicit FileHold(int fd) : fd_(fd) {}

 private:
  Fd fd_;
};

}  // namespace

std::unique_ptr<BatchHold> JournalFolder::hold(BatchId id) {
  if (running_.count(id) != 0) return nullptr;
  const Fd dir(openFolder(false));
  if (dir.get() < 0) return std::make_unique<FileHold>(-1);
  Fd fd(::openat(dir.get(), planName(id).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    // Gone, or no journal of ours to lock: loading it says which, and nothing acts on it.
    if (errno == ENOENT || errno == ELOOP) return std::make_unique<FileHold>(-1);
    return nullptr;
  }
  // Another copy looking through the unfinished batches holds each plan's lock for a moment; a
  // copy that runs or restores the batch holds it for as long as that lasts.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return std::make_unique<FileHold>(fd.release());
    if (errno != EWOULDBLOCK && errno != EINTR) return nullptr;
    ::usleep(2000);
  }
  return nullptr;
}

std::unique_ptr<JournalStore> userJournal() {
  try {
    return std::make_unique<JournalFolder>(defaultJournalFolder());
  } catch (const RunError& why) {
    return std::make_unique<NoJournalPlace>(why);
  }
}

}  // namespace skorvatin::platform
