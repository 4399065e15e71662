// Batches cut off on a removable stick, inside the test machine of scripts/test-fs.sh: the program
// killed at a rename and the stick mounted again at another place, the machine's power cut at a
// rename and the machine booted again, and what the journal costs on a flush-mounted vfat stick.
// Each line it prints is "PASS name", "FAIL name: why" or "NOTE what it saw".
//
// Every rename the rename service makes on the stick passes through a hook at the system call (the
// link wraps renameat2 and renameat, and times fsync and syncfs), so a kill or a power cut also lands between
// the two steps of a case-only rename, as a real one can.
//
//   stick_probe kills DEVICE FSTYPE OPTIONS MOUNT_A MOUNT_B STATE
//       a numbering run and an upper-case pass, each killed at renames of its passes and recovered
//       as the start's "Tak" does: with the stick mounted again at the other mount point, and
//       without a remount
//   stick_probe cut N K STATE HOLD_DIR CUT_DIR
//       new files in both folders and a numbering run in each, journals in STATE: the run in HOLD_DIR
//       waits at its K-th rename, the run in CUT_DIR powers the machine off at its K-th, unsynced;
//       K 0 is the moment a run has finished
//   stick_probe after-cut N K STATE LABEL=DIR...
//       at the next boot, file systems repaired and mounted: where the files are, the recovery,
//       and where they are after it
//   stick_probe cost DEVICE MOUNT OPTIONS FILES RUNS STATE
//       numbering runs of FILES files on a vfat stick, with the journal and without, timed

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/batch_restore.h"
#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/run_error.h"
#include "platform/journal_folder.h"
#include "platform/posix_folder.h"
#include "tests/casefold/probe_listing.h"
#include "tests/support/engine_fakes.h"

namespace {

dev_t stickDevice = 0;
int renameCalls = 0;
// Runs before the rename system call number `call` (from 1) in a folder on the stick.
std::function<void(int call)> atRename;
double stickSyncSeconds = 0;
double otherSyncSeconds = 0;

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool onStick(int dir) {
  struct stat st {};
  return stickDevice != 0 && ::fstat(dir, &st) == 0 && st.st_dev == stickDevice;
}

void beforeRename(int dir) {
  if (!onStick(dir)) return;
  ++renameCalls;
  if (atRename) atRename(renameCalls);
}

}  // namespace

extern "C" {
int __real_renameat2(int, const char*, int, const char*, unsigned int);
int __real_renameat(int, const char*, int, const char*);
int __real_fsync(int);
int __real_syncfs(int);
int __wrap_renameat2(int olddir, const char* from, int newdir, const char* to, unsigned int flags);
int __wrap_renameat(int olddir, const char* from, int newdir, const char* to);
int __wrap_fsync(int fd);
int __wrap_syncfs(int fd);

int __wrap_renameat2(int olddir, const char* from, int newdir, const char* to, unsigned int flags) {
  beforeRename(olddir);
  return __real_renameat2(olddir, from, newdir, to, flags);
}

int __wrap_renameat(int olddir, const char* from, int newdir, const char* to) {
  beforeRename(olddir);
  return __real_renameat(olddir, from, newdir, to);
}

int __wrap_fsync(int fd) {
  const bool stick = onStick(fd);
  const double start = seconds();
  const int rc = __real_fsync(fd);
  (stick ? stickSyncSeconds : otherSyncSeconds) += seconds() - start;
  return rc;
}

int __wrap_syncfs(int fd) {
  const bool stick = onStick(fd);
  const double start = seconds();
  const int rc = __real_syncfs(fd);
  (stick ? stickSyncSeconds : otherSyncSeconds) += seconds() - start;
  return rc;
}
}

namespace {

using namespace skorvatin;
using Names = std::vector<std::string>;

// The files of every scenario: Polish letters, mixed case, a name that is upper case already, one
// without an extension. Sizes differ, as photos' do: after a remount of FAT or exFAT, size and
// time are what recognises a file, and the time has a resolution of two seconds on FAT.
struct StickFile {
  const char* original;
  const char* numbered;  // after a numbering run with the window's defaults
  const char* upper;     // after a conversion pass to upper case
};
constexpr StickFile kFiles[] = {
    {"zdjęcie 1.jpg", "Plik4.jpg", "ZDJĘCIE 1.JPG"},
    {"Zdjęcie 2.JPG", "Plik5.JPG", "ZDJĘCIE 2.JPG"},
    {"łódź nocą.jpeg", "Plik6.jpeg", "ŁÓDŹ NOCĄ.JPEG"},
    {"Raport roczny.doc", "Plik3.doc", "RAPORT ROCZNY.DOC"},
    {"IMG_0001.JPG", "Plik1.JPG", "IMG_0001.JPG"},
    {"notatki", "Plik2", "NOTATKI"},
};
constexpr std::size_t kCount = sizeof kFiles / sizeof kFiles[0];

std::string contentOf(std::size_t i) {
  return "plik " + std::to_string(i) + "\n" + std::string(100 + 517 * i, static_cast<char>('a' + i));
}

enum class Op { Number, Upper };

const char* opName(Op op) {
  return op == Op::Number ? "number" : "upper";
}

Names expectedNames(Op op) {
  Names out;
  for (const StickFile& f : kFiles) out.push_back(op == Op::Number ? f.numbered : f.upper);
  std::sort(out.begin(), out.end());
  return out;
}

Names originalNames() {
  Names out;
  for (const StickFile& f : kFiles) out.push_back(f.original);
  std::sort(out.begin(), out.end());
  return out;
}

using probe::listing;

std::string shown(const Names& names) {
  std::string s;
  for (const std::string& n : names) s += " [" + n + "]";
  return s.empty() ? " nothing" : s;
}

std::string readAll(const std::string& path) {
  std::string out;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return "<" + std::string(std::strerror(errno)) + ">";
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  return out;
}

dev_t deviceOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

void closeAll(const std::vector<int>& fds) {
  // With "flush", vfat waits a tenth of a second at every close of a file written to; side by side
  // the waits overlap.
  std::vector<std::thread> closers;
  for (const int fd : fds) closers.emplace_back([fd] { ::close(fd); });
  for (std::thread& t : closers) t.join();
}

// The set in a new folder `dir`, on the disk before anything renames it: files that have been on
// the stick for a while.
std::string makeFiles(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0755) != 0) return "mkdir " + dir + ": " + std::strerror(errno);
  std::vector<int> fds;
  std::string problem;
  for (std::size_t i = 0; i < kCount; ++i) {
    const std::string path = dir + "/" + kFiles[i].original;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const std::string content = contentOf(i);
    if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
      problem = "cannot write " + path + ": " + std::strerror(errno);
    }
    if (fd >= 0) fds.push_back(fd);
  }
  closeAll(fds);
  ::sync();
  return problem;
}

// Runs `op` on `dir` as the window does, journal or not; throws RunError when the operation stops.
void runOperation(Op op, const std::string& dir, JournalStore* journal) {
  platform::PosixFolders folders;
  FileList list(folders);
  list.setPath(dir);
  const EventPump pump = [] {};
  if (op == Op::Number) {
    NumberingRun run(list, NumberingSettings{}, pump, journal);
    run.run();
  } else {
    testing::SilentPassView view;
    runConversionPass(
        list, view, pump, [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); }, journal);
  }
}

struct ChildEnd {
  bool killed = false;
  int renames = -1;  // the rename calls a run that ended made on the stick
};

// `op` on `dir` in a process of its own, journals in `state`, `hook` before each rename call there.
ChildEnd runInChild(Op op, const std::string& dir, const std::string& state,
                    const std::function<void(int)>& hook) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    stickDevice = deviceOf(dir);
    atRename = hook;
    int status = 0;
    try {
      platform::JournalFolder store(state);
      runOperation(op, dir, &store);
      status = std::min(renameCalls, 250);
    } catch (const RunError& e) {
      std::printf("NOTE %s in %s stopped: %s\n", opName(op), dir.c_str(), e.what());
      status = 255;
    }
    std::fflush(stdout);
    ::_exit(status);
  }
  int status = 0;
  ChildEnd end;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return end;
  end.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  if (WIFEXITED(status) && WEXITSTATUS(status) != 255) end.renames = WEXITSTATUS(status);
  return end;
}

struct Recovery {
  std::string problems;  // what stood in the way, or ""
  Names missing;         // full original paths the restores did not find
};

// Every unfinished batch in `state` taken back, as the window's "Tak" does at the start.
Recovery recoverAll(const std::string& state) {
  Recovery out;
  platform::PosixFolders folders;
  platform::JournalFolder store(state);
  // A list that shows no folder: the restores have nothing to re-read.
  FileList list(folders);
  // A restore that fails is reported and the next batch is asked about all the same.
  for (const PendingRestore& asked : pendingRestores(store, folders)) {
    try {
      const RestoreReport report = recoverBatch(store, list, nullptr, asked.id);
      out.missing.insert(out.missing.end(), report.missing.begin(), report.missing.end());
      for (const ChangedFile& c : report.changedSince)
        out.problems += "restore refused: " + c.path + " " + c.why + "; ";
      if (report.leftAlone != LeftAlone::No) out.problems += "restore left alone; ";
    } catch (const RunError& e) {
      out.problems += std::string("recovery stopped: ") + e.what() + "; ";
    }
  }
  if (!pendingRestores(store, folders).empty()) out.problems += "a batch is still unfinished; ";
  return out;
}

// What differs in `dir` from the set under its original names, or "".
std::string differences(const std::string& dir) {
  const Names got = listing(dir);
  if (got != originalNames()) return "left in the folder:" + shown(got);
  for (std::size_t i = 0; i < kCount; ++i) {
    if (readAll(dir + "/" + kFiles[i].original) != contentOf(i))
      return std::string("content of ") + kFiles[i].original;
  }
  return {};
}

int failures = 0;

void report(const std::string& label, const std::string& problem) {
  if (problem.empty()) {
    std::printf("PASS %s\n", label.c_str());
  } else {
    ++failures;
    std::printf("FAIL %s: %s\n", label.c_str(), problem.c_str());
  }
  std::fflush(stdout);
}

const char* identityName(Identity identity) {
  switch (identity) {
    case Identity::Lasting:
      return "across mounts";
    case Identity::ThisMount:
      return "for this mount";
    case Identity::None:
      return "not at all";
  }
  return "?";
}

// What the rename service tells a batch about the stick: a remount can be survived only when it
// knows the volume.
void noteVolume(const std::string& dir) {
  try {
    const auto folder = platform::PosixFolders().open(dir);
    const VolumeId v = folder->volume();
    std::printf(
        "NOTE the rename service says: file numbers hold %s; volume uuid=\"%s\" label=\"%s\" inside=\"%s\"\n",
        identityName(folder->identity()), v.uuid.c_str(), v.label.c_str(), v.inside.c_str());
  } catch (const RunError& e) {
    std::printf("NOTE the rename service cannot open %s: %s\n", dir.c_str(), e.what());
  }
}

bool mountAt(const std::string& device, const std::string& at, const std::string& type,
             const std::string& options) {
  for (std::size_t slash = at.find('/', 1); slash != std::string::npos; slash = at.find('/', slash + 1)) {
    ::mkdir(at.substr(0, slash).c_str(), 0755);
  }
  ::mkdir(at.c_str(), 0755);
  if (::mount(device.c_str(), at.c_str(), type.c_str(), 0, options.c_str()) == 0) return true;
  std::printf("FAIL mount %s at %s: %s\n", device.c_str(), at.c_str(), std::strerror(errno));
  ++failures;
  return false;
}

bool unmount(const std::string& at) {
  if (::umount2(at.c_str(), 0) == 0) return true;
  std::printf("FAIL umount %s: %s\n", at.c_str(), std::strerror(errno));
  ++failures;
  return false;
}

// Kill points: the first rename, inside and at the end of each pass, between the passes, and for a
// case-only rename between its two steps.
std::vector<int> killPoints(Op op, int renames) {
  const int n = static_cast<int>(kCount);
  std::vector<int> points = op == Op::Number ? std::vector<int>{1, 3, n, n + 1, n + 3, 2 * n}
                                             : std::vector<int>{1, 2, 3, 4, renames / 2 + 1, renames};
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  points.erase(
      std::remove_if(points.begin(), points.end(), [renames](int k) { return k < 1 || k > renames; }),
      points.end());
  return points;
}

int kills(const std::string& device, const std::string& type, const std::string& options,
          const std::string& mountA, const std::string& mountB, const std::string& state) {
  if (!mountAt(device, mountA, type, options)) return 1;
  std::string mounted = mountA;
  noteVolume(mountA);
  int scenario = 0;
  for (const Op op : {Op::Number, Op::Upper}) {
    // A run that goes through: the names it gives, and how many rename calls it makes here.
    const std::string whole = std::string(opName(op)) + "-whole";
    std::string problem = makeFiles(mounted + "/" + whole);
    const ChildEnd end = runInChild(op, mounted + "/" + whole, state + "/" + whole, {});
    const Names got = listing(mounted + "/" + whole);
    if (problem.empty() && end.renames < 0) problem = "the run did not go through";
    if (problem.empty() && got != expectedNames(op)) problem = "names after the run:" + shown(got);
    report(whole, problem);
    if (!problem.empty()) continue;
    std::printf("NOTE %s makes %d rename calls here\n", opName(op), end.renames);

    for (const bool remount : {true, false}) {
      for (const int k : killPoints(op, end.renames)) {
        const std::string label = std::string(opName(op)) + (remount ? "/remount" : "/same-mount") +
                                  "/killed-at-" + std::to_string(k);
        const std::string folder = "s" + std::to_string(++scenario);
        const std::string journals = state + "/" + folder;
        problem = makeFiles(mounted + "/" + folder);
        const ChildEnd killed = runInChild(op, mounted + "/" + folder, journals, [k](int call) {
          if (call == k) ::raise(SIGKILL);
        });
        if (problem.empty() && !killed.killed) problem = "the run ended before rename " + std::to_string(k);
        if (problem.empty() && remount) {
          const std::string other = mounted == mountA ? mountB : mountA;
          if (!unmount(mounted) || !mountAt(device, other, type, options)) return 1;
          mounted = other;
        }
        if (problem.empty()) {
          const Recovery recovery = recoverAll(journals);
          problem = recovery.problems;
          if (!recovery.missing.empty()) problem += "not found:" + shown(recovery.missing) + "; ";
          const std::string left = differences(mounted + "/" + folder);
          problem += left;
        }
        report(label + " (" + folder + ")", problem);
      }
    }
  }
  unmount(mounted);
  return failures == 0 ? 0 : 1;
}

// A slow stick: the renames of a batch take long enough for the kernel's write-back to reach the
// stick while the batch runs, so that a power cut finds it half written.
void slowStick() {
  ::usleep(40'000);
}

// A numbering run in `dir` on a slow stick that calls `atPoint` before its k-th rename, or with k 0
// once the run has finished, its journal closed.
void runTo(const std::string& dir, int k, const std::string& state, const std::function<void()>& atPoint) {
  stickDevice = deviceOf(dir);
  atRename = [k, &atPoint](int call) {
    slowStick();
    if (call == k) atPoint();
  };
  try {
    platform::JournalFolder store(state);
    runOperation(Op::Number, dir, &store);
    if (k == 0) atPoint();
  } catch (const RunError& e) {
    std::printf("NOTE the run in %s stopped: %s\n", dir.c_str(), e.what());
  }
}

std::string pointName(int k) {
  return k == 0 ? std::string("the end of the run") : "rename " + std::to_string(k);
}

int cut(const std::string& n, int k, const std::string& state, const std::string& holdDir,
        const std::string& cutDir) {
  for (const std::string* dir : {&holdDir, &cutDir}) {
    const std::string problem = makeFiles(*dir);
    if (!problem.empty()) return report("cut-" + n + "/files", problem), 1;
  }
  int ready[2];
  if (::pipe(ready) != 0) return report("cut-" + n + "/pipe", std::strerror(errno)), 1;
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    const int signal = ready[1];
    runTo(holdDir, k, state, [signal] {
      if (::write(signal, "x", 1) != 1) ::_exit(3);
      for (;;) ::pause();
    });
    std::fflush(stdout);
    ::_exit(3);
  }
  ::close(ready[1]);
  char byte = 0;
  pollfd wait{ready[0], POLLIN, 0};
  if (pid < 0 || ::poll(&wait, 1, 60'000) != 1 || ::read(ready[0], &byte, 1) != 1) {
    return report("cut-" + n + "/hold", "the run in " + holdDir + " never reached " + pointName(k)), 1;
  }
  std::printf("NOTE the numbering run in %s waits at %s\n", holdDir.c_str(), pointName(k).c_str());

  runTo(cutDir, k, state, [&] {
    std::printf("@@CUT %s at %s in %s\n", n.c_str(), pointName(k).c_str(), cutDir.c_str());
    std::fflush(stdout);
    const int trigger = ::open("/proc/sysrq-trigger", O_WRONLY);
    if (trigger < 0 || ::write(trigger, "o", 1) != 1) {
      std::printf("FAIL cut-%s: sysrq: %s\n", n.c_str(), std::strerror(errno));
      std::fflush(stdout);
      ::_exit(1);
    }
    for (;;) ::pause();
  });
  report("cut-" + n, "the power stayed on");
  return 1;
}

// Which of its three names each file of the set is under in `dir`, told by content, so that a file
// under any name at all is found: "original", "temporary", "final", another name, or nothing.
std::vector<Names> whereabouts(const std::string& dir) {
  std::vector<Names> out(kCount);
  for (const std::string& name : listing(dir)) {
    const std::string content = readAll(dir + "/" + name);
    for (std::size_t i = 0; i < kCount; ++i) {
      if (content == contentOf(i)) out[i].push_back(name);
    }
  }
  return out;
}

std::string describe(const std::vector<Names>& where) {
  std::map<std::string, int> counts;
  std::string others;
  for (std::size_t i = 0; i < kCount; ++i) {
    for (const std::string& name : where[i]) {
      if (name == kFiles[i].original) {
        ++counts["original"];
      } else if (name == std::string(kFiles[i].original) + ".q") {
        ++counts["temporary"];
      } else if (name == kFiles[i].numbered) {
        ++counts["final"];
      } else {
        others += " [" + name + "]";
      }
    }
    if (where[i].empty()) ++counts["nowhere"];
  }
  std::string s;
  for (const auto& [what, count] : counts) s += " " + std::to_string(count) + " " + what;
  if (!others.empty()) s += "; other names:" + others;
  return s;
}

// A cut inside the run must leave every file the file system kept under its original name once
// the start has recovered the run; a cut after the run, every file under its new name: the run made
// its names durable before its journal said it was done.
int afterCut(const std::string& n, int k, const std::string& state, const std::vector<std::string>& places) {
  const bool finished = k == 0;
  const auto wanted = [finished](std::size_t i) {
    return finished ? kFiles[i].numbered : kFiles[i].original;
  };
  std::vector<std::pair<std::string, std::string>> dirs;  // label, folder
  std::vector<std::vector<Names>> before;
  for (const std::string& place : places) {
    const auto eq = place.find('=');
    dirs.emplace_back(place.substr(0, eq), place.substr(eq + 1));
    before.push_back(whereabouts(dirs.back().second));
    std::printf("NOTE %s after the cut:%s\n", dirs.back().first.c_str(), describe(before.back()).c_str());
  }
  const Recovery recovery = recoverAll(state);
  if (!recovery.problems.empty()) report("cut-" + n + "/recovery", recovery.problems);
  for (std::size_t d = 0; d < dirs.size(); ++d) {
    const auto& [label, dir] = dirs[d];
    const std::vector<Names> after = whereabouts(dir);
    int restored = 0;
    std::string lostByFs, notRestored;
    Names husks;  // entries the file system kept without their data, under a name of the batch
    for (std::size_t i = 0; i < kCount; ++i) {
      if (after[i] == Names{wanted(i)}) {
        ++restored;
      } else if (before[d][i].empty() && after[i].empty()) {
        lostByFs += std::string(" [") + kFiles[i].original + "]";
        for (const std::string& name :
             {std::string(kFiles[i].original), std::string(kFiles[i].original) + ".q",
              std::string(kFiles[i].numbered)}) {
          struct stat st {};
          if (::lstat((dir + "/" + name).c_str(), &st) == 0 && st.st_size == 0) husks.push_back(name);
        }
      } else {
        notRestored += std::string(" [") + kFiles[i].original + "] under" + shown(after[i]) + ";";
      }
    }
    // Nothing else may be left: no temporary names, no second name of a file.
    Names strays;
    for (const std::string& name : listing(dir)) {
      bool known = false;
      for (std::size_t i = 0; i < kCount; ++i) known = known || name == wanted(i);
      if (!known && std::find(husks.begin(), husks.end(), name) == husks.end()) strays.push_back(name);
    }
    std::string line = "cut-" + n + "/" + label + "/" + (finished ? "end" : "rename-" + std::to_string(k)) +
                       ": " + std::to_string(restored) + " of " + std::to_string(kCount) +
                       (finished ? " under their new names" : " restored");
    if (!lostByFs.empty()) line += "; lost by the file system itself:" + lostByFs;
    if (!husks.empty()) line += " (left empty under" + shown(husks) + ")";
    std::string problem;
    if (finished && !lostByFs.empty()) problem += "the run had made its names durable and said so; ";
    if (!notRestored.empty()) problem += "not where they belong:" + notRestored + " ";
    if (!strays.empty()) problem += "left in the folder:" + shown(strays);
    if (problem.empty()) {
      std::printf("PASS %s\n", line.c_str());
    } else {
      report(line, problem);
    }
  }
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::string figures(const std::vector<double>& v) {
  std::string s;
  char buf[32];
  for (const double x : v) {
    std::snprintf(buf, sizeof buf, " %.3f", x);
    s += buf;
  }
  return s;
}

int cost(const std::string& device, const std::string& at, const std::string& mountOptions, int files,
         int runs, const std::string& state) {
  // The files are made on a mount without "flush", where closing a written file does not wait a
  // tenth of a second: 4000 of those would take minutes and prove nothing.
  const std::string dir = at + "/cost";
  if (!mountAt(device, at, "vfat", "shortname=mixed,utf8=1")) return 1;
  ::mkdir(dir.c_str(), 0755);
  for (int i = 1; i <= files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%05d.JPG", i);
    const int fd = ::open((dir + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 || ::write(fd, name, std::strlen(name)) < 0)
      return report("cost/files", std::strerror(errno)), 1;
    ::close(fd);
  }
  if (!unmount(at) || !mountAt(device, at, "vfat", mountOptions)) return 1;

  Names want;
  for (int i = 1; i <= files; ++i) want.push_back("Plik" + std::to_string(i) + ".JPG");
  std::sort(want.begin(), want.end());
  // Each run in its phases: up to the first rename (listing, plan, journal), the renames, and from
  // the last rename on (syncs, end record, the list read again).
  struct Run {
    double total, plan, renames, end, stickSync, journalSync;
  };
  std::vector<Run> with, without;
  std::string problem;
  stickDevice = deviceOf(dir);
  double firstRename = 0, lastRename = 0;
  atRename = [&](int) {
    lastRename = seconds();
    if (firstRename == 0) firstRename = lastRename;
  };
  for (int r = 0; r < 2 * runs && problem.empty(); ++r) {
    // Journal first, then none, none, journal: a drift over the runs weighs on both alike.
    const bool journaled = r % 4 == 0 || r % 4 == 3;
    ::sync();
    platform::JournalFolder store(state);
    platform::PosixFolders folders;
    FileList list(folders);
    list.setPath(dir);
    NumberingRun run(
        list, NumberingSettings{}, [] {}, journaled ? &store : nullptr);
    stickSyncSeconds = otherSyncSeconds = 0;
    firstRename = lastRename = 0;
    const double start = seconds();
    try {
      run.run();
    } catch (const RunError& e) {
      problem = e.what();
    }
    const double stop = seconds();
    (journaled ? with : without)
        .push_back({stop - start, firstRename - start, lastRename - firstRename, stop - lastRename,
                    stickSyncSeconds, otherSyncSeconds});
    if (problem.empty() && listing(dir) != want)
      problem = "run " + std::to_string(r + 1) + " left other names";
  }
  atRename = nullptr;
  report("cost/" + std::to_string(2 * runs) + "-runs-of-" + std::to_string(files) + "-files", problem);
  if (with.empty() || without.empty()) return 1;
  const auto column = [](const std::vector<Run>& kind, double Run::*part) {
    std::vector<double> out;
    for (const Run& one : kind) out.push_back(one.*part);
    return out;
  };
  // Other work on the host slows some runs at random; the fastest run of each kind is the least
  // disturbed one.
  const std::vector<double> withTotals = column(with, &Run::total),
                            withoutTotals = column(without, &Run::total);
  const double ratio = median(withTotals) / median(withoutTotals);
  const double best = *std::min_element(withTotals.begin(), withTotals.end()) /
                      *std::min_element(withoutTotals.begin(), withoutTotals.end());
  std::printf(
      "NOTE cost, %d files on vfat (%s), seconds per numbering run: without the journal%s; with it%s; "
      "ratio of the medians %.3f, of the fastest runs %.3f%s\n",
      files, mountOptions.c_str(), figures(withoutTotals).c_str(), figures(withTotals).c_str(), ratio, best,
      std::min(ratio, best) > 1.10 ? " (more than 10 % slower)" : "");
  for (const auto* kind : {&without, &with}) {
    std::printf(
        "NOTE cost, medians %s the journal: up to the first rename %.3f s, the renames %.3f s, "
        "after the last %.3f s, of which syncs of the stick %.3f s and fsyncs of the journal %.3f s\n",
        kind == &with ? "with" : "without", median(column(*kind, &Run::plan)),
        median(column(*kind, &Run::renames)), median(column(*kind, &Run::end)),
        median(column(*kind, &Run::stickSync)), median(column(*kind, &Run::journalSync)));
  }
  unmount(at);
  return failures == 0 ? 0 : 1;
}

int usage() {
  std::fputs(
      "usage: stick_probe kills DEVICE FSTYPE OPTIONS MOUNT_A MOUNT_B STATE\n"
      "       stick_probe cut N K STATE HOLD_DIR CUT_DIR\n"
      "       stick_probe after-cut N K STATE LABEL=DIR...\n"
      "       stick_probe cost DEVICE MOUNT OPTIONS FILES RUNS STATE\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string mode = args.empty() ? "" : args[0];
  if (mode == "kills" && args.size() == 7) return kills(args[1], args[2], args[3], args[4], args[5], args[6]);
  if (mode == "cut" && args.size() == 6) return cut(args[1], std::stoi(args[2]), args[3], args[4], args[5]);
  if (mode == "after-cut" && args.size() >= 5)
    return afterCut(args[1], std::stoi(args[2]), args[3], {args.begin() + 4, args.end()});
  if (mode == "cost" && args.size() == 7)
    return cost(args[1], args[2], args[3], std::stoi(args[4]), std::stoi(args[5]), args[6]);
  return usage();
}
