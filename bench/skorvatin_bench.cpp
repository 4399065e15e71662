// Measures the program against the system-call limit: list reads, numbering runs and conversion
// passes against plain C loops doing the same system calls, the undo of a numbering run and the
// recovery of one cut off half way (each checked to give every file its name back) against the
// raw two-pass loop, the window's response against the engine alone, memory per listed entry, and
// start-up against a minimal Qt program.
//
//   skorvatin_bench [--quick] [--parts=list,memory,numbering,conversion,window,startup]
//                   [--sizes=1000,10000,32767] [--fs=tmpfs,disk,slow] [--place=PATH ...]
//                   [--slow-delay-us=1000]
//
// Places: tmpfs is /dev/shm, disk is /tmp, and slow is the bench's own FUSE driver
// (skorvatin_bench_slowfs) mirroring a folder in /dev/shm and waiting --slow-delay-us before
// every answer, as a network share or a stick behind a slow reader does where each metadata
// operation is a round trip. It counts the requests it answers, so every list read, numbering run,
// undo, recovery and conversion pass there also gets a metric=ops_... line of requests per file,
// and on every place a metric=calls_... line of the system calls made per file, where the kernel
// lets them be counted (root).
// It needs libfuse3 at build time and root (or fusermount3) at run time, and is skipped with the
// reason when either is missing; unless --sizes is given it measures only sizes up to 4000, as a
// run of 32767 files there takes minutes. --place=PATH measures the list, numbering and conversion
// parts in a fresh subfolder of PATH, made and removed by the bench (any mounted share or stick);
// given without --fs it is the only place.
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_folder.h"
#include "bench/bench_stats.h"
#include "bench/child_process.h"
#include "bench/heap_meter.h"
#include "bench/raw_baseline.h"
#include "bench/slow_place.h"
#include "bench/syscall_counter.h"
#include "engine/batch_restore.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/rename_preview.h"
#include "engine/run_error.h"
#include "platform/posix_folder.h"

#include "bench/engine_contenders.h"
#ifdef SKORVATIN_BENCH_WINDOW
#include "bench/window_bench.h"
#endif

namespace skorvatin::bench {
namespace {

struct Place {
  std::string label;  // "tmpfs", "disk", "slow" or "place:PATH"
  std::string root;   // the slow place's is known once it is mounted
};

const Place kFixedPlaces[] = {{"tmpfs", "/dev/shm"}, {"disk", "/tmp"}};

struct Options {
  bool quick = false;
  std::set<std::string> parts{"list", "memory", "numbering", "conversion", "window", "startup"};
  std::vector<int> sizes{1000, 10000, 32767};
  bool sizesGiven = false;
  std::vector<Place> places{kFixedPlaces[0], kFixedPlaces[1], {"slow", ""}};
  int slowDelayMicroseconds = 1000;
};

// A place the user names must be a folder the bench may write in; it then works only in a
// subfolder of its own.
void checkUserPlace(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    throw std::runtime_error("--place=" + path + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode)) throw std::runtime_error("--place=" + path + ": not a folder");
  if (::access(path.c_str(), W_OK | X_OK) != 0) {
    throw std::runtime_error("--place=" + path + ": not a writable folder (" + std::strerror(errno) + ")");
  }
}

constexpr int kLargest = 32767;

std::vector<std::string> splitCommas(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ',');) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

Options parseOptions(int argc, char** argv) {
  Options o;
  bool fsGiven = false;
  std::vector<Place> fixed = o.places;
  std::vector<Place> named;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      o.quick = true;
    } else if (a.rfind("--parts=", 0) == 0) {
      const auto parts = splitCommas(a.substr(8));
      o.parts = {parts.begin(), parts.end()};
    } else if (a.rfind("--sizes=", 0) == 0) {
      o.sizes.clear();
      o.sizesGiven = true;
      for (const std::string& s : splitCommas(a.substr(8))) o.sizes.push_back(std::atoi(s.c_str()));
    } else if (a.rfind("--fs=", 0) == 0) {
      fsGiven = true;
      fixed.clear();
      for (const std::string& f : splitCommas(a.substr(5))) {
        const std::size_t before = fixed.size();
        for (const Place& p : Options{}.places) {
          if (p.label == f) fixed.push_back(p);
        }
        if (fixed.size() == before) throw std::runtime_error("--fs=" + f + ": tmpfs, disk or slow");
      }
    } else if (a.rfind("--place=", 0) == 0) {
      std::string path = a.substr(8);
      while (path.size() > 1 && path.back() == '/') path.pop_back();
      checkUserPlace(path);
      named.push_back({"place:" + path, path});
    } else if (a.rfind("--slow-delay-us=", 0) == 0) {
      o.slowDelayMicroseconds = std::atoi(a.c_str() + 16);
    } else {
      throw std::runtime_error("unknown argument " + a +
                               " (see the comment at the top of skorvatin_bench.cpp)");
    }
  }
  o.places = named.empty() || fsGiven ? fixed : std::vector<Place>{};
  o.places.insert(o.places.end(), named.begin(), named.end());
  return o;
}

bool isSlow(const std::string& fs) {
  return fs == "slow";
}

// Repetitions: enough for a stable median, fewer where one run costs more. On the slow place a
// run costs its round trips, seconds for a thousand files, and varies little.
int listReps(const Options& o, int n, const std::string& fs) {
  if (isSlow(fs)) return o.quick ? 1 : n <= 1000 ? 5 : 3;
  return o.quick ? 3 : (n <= 1000 ? 41 : n <= 10000 ? 21 : 15);
}
// A disk folder of 32767 files takes seconds to make afresh before every run.
int renameReps(const Options& o, int n, const std::string& fs) {
  if (o.quick) return 1;
  if (isSlow(fs)) return n <= 1000 ? 3 : 1;
  if (fs != "tmpfs") return n <= 1000 ? 7 : n <= 10000 ? 5 : 3;
  return n <= 1000 ? 11 : 7;
}
// Nothing in a FUSE driver gets warm, and a warm-up round there would double the run.
bool warmUp(const std::string& fs) {
  return !isSlow(fs);
}

// The file system calls each contender makes, and the requests the slow place's driver answers
// during its timed runs, per run and per file. The calls are counted where the system lets them be:
// in the warm-up round where there is one, so that counting slows no timed run, and otherwise (the
// slow place, whose round trips dwarf it) in the timed runs.
class OpTally {
 public:
  OpTally(const SlowPlace* slow, std::size_t contenders, bool warmUp)
      : slow_(slow),
        countCalls_(SyscallCounter::available()),
        callsInWarmUp_(warmUp),
        requests_(contenders),
        calls_(contenders),
        timedRuns_(contenders),
        countedRuns_(contenders) {}

  Watcher watcher() {
    if (slow_ == nullptr && !countCalls_) return {};
    return [this](std::size_t i, bool finished, bool timed) {
      if (slow_ != nullptr && timed) {
        if (!finished) {
          requestsBefore_ = slow_->counts();
        } else {
          const OpCounts after = slow_->counts();
          for (std::size_t k = 0; k < static_cast<std::size_t>(Op::Count); ++k)
            requests_[i].n[k] += after.n[k] - requestsBefore_.n[k];
          ++timedRuns_[i];
        }
      }
      if (!countCalls_ || timed == callsInWarmUp_) return;
      if (!finished) {
        if (!counter_) counter_.emplace();
        callsBefore_ = counter_->counts();
        return;
      }
      const CallCounts made = counter_->since(callsBefore_);
      for (std::size_t k = 0; k < static_cast<std::size_t>(Call::Count); ++k) calls_[i].n[k] += made.n[k];
      ++countedRuns_[i];
      if (callsInWarmUp_) counter_.reset();
    };
  }

  // metric=calls_<what> n= fs= stat=.. rename=.. ... system calls per file, and on the slow place
  // metric=ops_<what> ... lookup=.. getattr=.. ... requests per file.
  void addMetric(Report& report, const std::string& what, std::size_t i, int n, const std::string& fs,
                 const std::string& contender) const {
    const auto line = [&](const char* tag, const std::uint64_t* counts, int runs, const char* const* names,
                          std::size_t kinds) {
      std::string text = "metric=" + std::string(tag) + what + " n=" + std::to_string(n) + " fs=" + fs;
      char item[64];
      for (std::size_t k = 0; k < kinds; ++k) {
        const double perFile = static_cast<double>(counts[k]) / runs / n;
        std::snprintf(item, sizeof item, " %s=%.3f", names[k], perFile);
        text += item;
      }
      return text;
    };
    if (countedRuns_[i] != 0) {
      report.addLine(
          line("calls_", calls_[i].n, countedRuns_[i], kCallNames, static_cast<std::size_t>(Call::Count)) +
          "  (system calls per file: " + contender + ")");
    }
    if (timedRuns_[i] != 0) {
      report.addLine(
          line("ops_", requests_[i].n, timedRuns_[i], kOpNames, static_cast<std::size_t>(Op::Count)) +
          "  (requests per file: " + contender + ")");
    }
  }

 private:
  const SlowPlace* slow_;
  const bool countCalls_;
  const bool callsInWarmUp_;
  std::optional<SyscallCounter> counter_;
  OpCounts requestsBefore_;
  CallCounts callsBefore_;
  std::vector<OpCounts> requests_;
  std::vector<CallCounts> calls_;
  std::vector<int> timedRuns_;
  std::vector<int> countedRuns_;
};

const Clock::time_point kStarted = Clock::now();

void progress(const char* what, int n, const std::string& fs) {
  std::fprintf(stderr, "bench: [%5.1f s] %s, n=%d, %s\n", secondsSince(kStarted), what, n, fs.c_str());
}

// 1. The list read: the engine's FileList re-reading under a mask against the raw C loop.
// The buttons' tooltips: each works out its operation's plan over the whole list when it opens.
// Against one list read of the same folder, which is what a click costs before its first rename.
void benchPreview(Report& report, const Options& o, FileList& list, const std::string& fs, int n,
                  double listReadSeconds) {
  const NameTransform lower = [](const std::string& name) { return changeCase(name, CaseMode::AllLower); };
  std::vector<Contender> contenders{
      {"engine preview \"Numeruj\"",
       [&list] { (void)NumberingRun(list, NumberingSettings{}, nullptr).preview(); },
       {}},
      {"engine preview \"Zmień plikom wielkość liter\"", [&] { (void)previewConversion(list, lower); }, {}}};
  const auto samples = alternate(contenders, listReps(o, n, fs), warmUp(fs));
  for (std::size_t i = 0; i < contenders.size(); ++i)
    report.addRow(n, fs, contenders[i].name, "ms", samples[i]);
  const char* tags[] = {"preview_numbering", "preview_conversion"};
  for (std::size_t i = 0; i < contenders.size(); ++i) {
    report.addMetric({tags[i], n, fs, 1000 * samples[i].median(), 1000 * listReadSeconds, 0, false, "ms",
                      "preview / engine list read \"*.*\""});
  }
}

void benchList(Report& report, const Options& o, BenchFolder& folder, const std::string& fs, int n,
               const SlowPlace* slow) {
  progress("list read", n, fs);
  struct Mask {
    const char* text;
    const char* tag;
  };
  const Mask masks[] = {{"*.*", "all"}, {"*.jpg", "jpg"}};
  std::vector<std::unique_ptr<FileList>> lists;
  std::vector<std::unique_ptr<RawList>> raws;
  std::vector<Contender> contenders;
  for (const Mask& m : masks) {
    lists.push_back(std::make_unique<FileList>(platform::systemFolders()));
    raws.push_back(std::make_unique<RawList>());
    FileList& list = *lists.back();
    RawList& raw = *raws.back();
    list.setPattern(m.text);
    list.setPath(folder.path());
    raw.read(folder.path(), m.text);
    if (list.size() != raw.size()) {
      throw std::runtime_error(std::string("list read under ") + m.text + ": engine lists " +
                               std::to_string(list.size()) + " files, the raw loop " +
                               std::to_string(raw.size()));
    }
    contenders.push_back(
        {std::string("engine list read \"") + m.text + "\"", [&list] { list.refresh(); }, {}});
    contenders.push_back({std::string("raw list read \"") + m.text + "\"",
                          [&raw, &folder, mask = std::string(m.text)] { raw.read(folder.path(), mask); },
                          {}});
  }
  OpTally ops(slow, contenders.size(), warmUp(fs));
  const auto samples = alternate(contenders, listReps(o, n, fs), warmUp(fs), ops.watcher());
  for (std::size_t i = 0; i < contenders.size(); ++i)
    report.addRow(n, fs, contenders[i].name, "ms", samples[i]);
  for (std::size_t m = 0; m < 2; ++m) {
    ops.addMetric(report, std::string("list_read_") + masks[m].tag, 2 * m, n, fs, contenders[2 * m].name);
    ops.addMetric(report, std::string("raw_list_read_") + masks[m].tag, 2 * m + 1, n, fs,
                  contenders[2 * m + 1].name);
  }
  for (std::size_t m = 0; m < 2; ++m) {
    report.addMetric({std::string("list_read_") + masks[m].tag, n, fs, samples[2 * m].median(),
                      samples[2 * m + 1].median(), n == kLargest && fs == "tmpfs" ? 1.04 : 0, false, "",
                      "engine / raw readdir+fnmatch+qsort, " + std::to_string(lists[m]->size()) + " listed"});
  }
  benchPreview(report, o, *lists[0], fs, n, samples[0].median());
}

// 5. Memory: what the engine keeps per listed entry beyond the name's own bytes.
void benchMemory(Report& report, BenchFolder& folder, const std::string& fs, int n) {
  progress("memory per entry", n, fs);
  std::size_t nameBytes = 0;
  auto perEntry = [&](std::size_t before, std::size_t after, std::size_t count) {
    return (static_cast<double>(after) - static_cast<double>(before) - static_cast<double>(nameBytes)) /
           static_cast<double>(count);
  };
  // One read first, thrown away: what the first read of a process sets up once (the folder
  // service, library state) is no cost of the entries.
  FileList(platform::systemFolders()).setPath(folder.path());
  auto list = std::make_unique<FileList>(platform::systemFolders());
  std::size_t before = heapInUse();
  list->setPath(folder.path());
  std::size_t after = heapInUse();
  for (const std::string& name : list->names()) nameBytes += name.size();
  const double engine = perEntry(before, after, list->size());
  const std::size_t count = list->size();
  list.reset();

  auto raw = std::make_unique<RawList>();
  before = heapInUse();
  raw->read(folder.path(), "*.*");
  after = heapInUse();
  const double rawBytes = perEntry(before, after, raw->size());
  raw.reset();

  report.addRow(n, fs, "engine heap per listed entry beyond its name", "B", Samples{{engine}});
  report.addRow(n, fs, "raw heap per listed entry beyond its name", "B", Samples{{rawBytes}});
  report.addMetric({"bytes_per_entry", n, fs, engine, rawBytes, n == kLargest && fs == "tmpfs" ? 31.0 : 0.0,
                    true, "B",
                    "engine / raw strdup+pointer array, " + std::to_string(count) + " entries, names " +
                        std::to_string(nameBytes / count) + " B on average"});
}

// Where a bench folder's journals go: beside it, on the same file system, as the program's own
// journal folder would be on a home folder of that kind.
std::string parentOf(const std::string& path) {
  return path.substr(0, path.rfind('/'));
}

// What a restore is timed for: every file of the folder back under its original name and nothing
// else listed, told by a read of its own. A restore that did nothing, or part, stops the bench.
void checkRestored(const char* what, const RestoreReport& restore, const BenchFolder& folder, RawList& raw) {
  raw.read(folder.path(), "*.*");
  std::vector<std::string> listed(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) listed[i] = raw.at(i);
  std::vector<std::string> original = folder.names();
  std::sort(listed.begin(), listed.end());
  std::sort(original.begin(), original.end());
  if (restore.leftAlone != LeftAlone::No || !restore.changedSince.empty() || !restore.missing.empty() ||
      restore.renamed != original.size() || listed != original) {
    throw std::runtime_error(std::string(what) +
                             ": the folder does not hold every file under its original name");
  }
}

// 2. The numbering run, defaults and with leading zeros, journal kept, against the raw two-pass
// loop; and the same run without its journal, for the journal's share. Every run starts from the
// same freshly made folder with its list already read, as in the window.
//
// Then the two restores from the journal, against the same raw loop, which moves every file
// through a stop as they do: Ctrl+Z's undo of a finished numbering run, and the start-up's
// recovery of one cut off half way, after n of its 2n renames (every file under its temporary
// name), with no rollback and no end record, as a kill leaves it. The run before each restore, and
// the start-up's look at the unfinished batches, are untimed and their requests not counted.
void benchNumbering(Report& report, const Options& o, BenchFolder& folder, const std::string& fs, int n,
                    const SlowPlace* slow) {
  progress("numbering run", n, fs);
  FileList list(platform::systemFolders());
  RawList raw;
  BenchJournal journal(parentOf(folder.path()));
  BatchId batch = 0;       // the one the next restore takes back
  RestoreReport restored;  // what the last restore said it did
  RawList checkList;
  const auto enginePrepare = [&] {
    folder.rebuild();
    list.setPath(folder.path());
  };
  const std::vector<Contender> contenders{
      {"raw two-pass renameat2 loop", [&] { rawNumbering(folder.path(), "*.*", raw); },
       [&] {
         folder.rebuild();
         raw.read(folder.path(), "*.*");
       }},
      {"engine numbering run (defaults)", [&] { engineNumbering(list, {false}, &journal.store()); },
       enginePrepare},
      {"engine numbering run (leading zeros)", [&] { engineNumbering(list, {true}, &journal.store()); },
       enginePrepare},
      {"engine numbering run (defaults, no journal)", [&] { engineNumbering(list, {false}); }, enginePrepare},
      {"engine undo of a numbering run (Ctrl+Z)",
       [&] { restored = engineUndo(list, journal.store(), batch); },
       [&] {
         enginePrepare();
         engineNumbering(list, {false}, &journal.store());
         batch = newestBatch(journal.store(), folder.path());
       },
       [&] { checkRestored("undo", restored, folder, checkList); }},
      {"engine recovery of a numbering run cut off half way",
       [&] { restored = engineRecovery(list, journal.store(), batch); },
       [&] {
         folder.rebuild();
         engineNumberingCutOff(folder.path(), journal.store(), static_cast<std::size_t>(n));
         journal.restart();
         // The window at start-up shows this folder: the recovery re-reads its list, as the undo
         // does.
         list.setPath(folder.path());
         batch = pendingBatch(journal.store(), list.folders(), folder.path());
       },
       [&] { checkRestored("recovery", restored, folder, checkList); }},
  };
  OpTally ops(slow, contenders.size(), warmUp(fs));
  const auto samples = alternate(contenders, renameReps(o, n, fs), warmUp(fs), ops.watcher());
  if (list.size() != static_cast<std::size_t>(n) || raw.size() != static_cast<std::size_t>(n)) {
    throw std::runtime_error("numbering: the final lists do not hold every file");
  }
  for (std::size_t i = 0; i < contenders.size(); ++i)
    report.addRow(n, fs, contenders[i].name, "ms", samples[i]);
  const double limit = n != kLargest ? 0 : fs == "tmpfs" ? 1.12 : 1.05;
  report.addMetric({"numbering_defaults", n, fs, samples[1].median(), samples[0].median(), limit, false, "",
                    "engine with its journal / raw two-pass loop"});
  report.addMetric({"numbering_zeros", n, fs, samples[2].median(), samples[0].median(), limit, false, "",
                    "engine with its journal / raw two-pass loop"});
  report.addMetric({"journal_share", n, fs, samples[1].median(), samples[3].median(),
                    n == kLargest && fs == "tmpfs" ? 1.03 : 0, false, "",
                    "numbering run with its journal / without one"});
  // The same as a share of the run: what keeping the journal adds, over the whole run's time.
  report.addMetric({"journal_cost", n, fs, 1000 * (samples[1].median() - samples[3].median()),
                    1000 * samples[1].median(), 0, false, "ms",
                    "journal's time / numbering run with its journal"});
  report.addMetric({"undo", n, fs, samples[4].median(), samples[0].median(), 0, false, "",
                    "engine undo of a numbering run, its own journal kept / raw two-pass loop"});
  report.addMetric({"recovery", n, fs, samples[5].median(), samples[0].median(), 0, false, "",
                    "engine recovery of a run cut after n of its 2n renames, all n files moved back / "
                    "raw two-pass loop over all n files"});
  const char* tags[] = {"raw_numbering",        "numbering", "numbering_zeros",
                        "numbering_no_journal", "undo",      "recovery"};
  for (std::size_t i = 0; i < contenders.size(); ++i)
    ops.addMetric(report, tags[i], i, n, fs, contenders[i].name);
}

// 3. The conversion pass, lower case and spaces to underscores, journal kept, against a raw
// one-pass loop.
void benchConversion(Report& report, const Options& o, BenchFolder& folder, const std::string& fs, int n,
                     const SlowPlace* slow) {
  progress("conversion pass", n, fs);
  FileList list(platform::systemFolders());
  RawList raw;
  BenchJournal journal(parentOf(folder.path()));
  auto rawPrepare = [&] {
    folder.rebuild();
    raw.read(folder.path(), "*.*");
  };
  auto enginePrepare = [&] {
    folder.rebuild();
    list.setPath(folder.path());
  };
  const std::vector<Contender> contenders{
      {"raw one-pass loop (lower case)",
       [&] { rawConversion(folder.path(), "*.*", raw, RawConversion::Lower); }, rawPrepare},
      {"engine conversion pass (lower case)",
       [&] { engineConversion(list, EngineConversion::Lower, &journal.store()); }, enginePrepare},
      {"raw one-pass loop (spaces to _)",
       [&] { rawConversion(folder.path(), "*.*", raw, RawConversion::SpacesToUnderscores); }, rawPrepare},
      {"engine conversion pass (spaces to _)",
       [&] { engineConversion(list, EngineConversion::SpacesToUnderscores, &journal.store()); },
       enginePrepare},
  };
  OpTally ops(slow, contenders.size(), warmUp(fs));
  const auto samples = alternate(contenders, renameReps(o, n, fs), warmUp(fs), ops.watcher());
  for (std::size_t i = 0; i < contenders.size(); ++i)
    report.addRow(n, fs, contenders[i].name, "ms", samples[i]);
  const char* tags[] = {"raw_conversion_lower", "conversion_lower", "raw_conversion_underscores",
                        "conversion_underscores"};
  for (std::size_t i = 0; i < contenders.size(); ++i)
    ops.addMetric(report, tags[i], i, n, fs, contenders[i].name);
  const double limit = n == kLargest && fs == "tmpfs" ? 1.08 : 0;
  report.addMetric({"conversion_lower", n, fs, samples[1].median(), samples[0].median(), limit, false, "",
                    "engine with its journal / raw one-pass loop"});
  report.addMetric({"conversion_underscores", n, fs, samples[3].median(), samples[2].median(), limit, false,
                    "", "engine with its journal / raw one-pass loop"});
}

#ifdef SKORVATIN_BENCH_WINDOW
// 6. Start-up, exec to the window on screen, and the window's memory with a full folder listed;
// both against a minimal Qt Widgets program. The probes are bench builds of the program's own
// main() and of the minimal program, each with a start-up hook that reports and exits.
void benchStartup(Report& report, const Options& o, const std::string& bigFolder,
                  const std::string& emptyFolder) {
  progress("start-up and window memory", 0, "-");
  const std::string dir = ownFolder();
  const std::string app = dir + "/skorvatin_bench_app";
  const std::string minimal = dir + "/skorvatin_bench_minimal_qt";
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

  auto probe = [](const std::string& program, const std::vector<std::string>& args, const char* expect) {
    const ChildRun run = runChild(program, args);
    if (run.exitStatus != 0 || run.output.find(expect) == std::string::npos) {
      throw std::runtime_error(program + " did not report '" + expect + "' (exit " +
                               std::to_string(run.exitStatus) + "): " + run.output);
    }
    return run;
  };
  // Each round starts the three programs in a rotated order.
  struct Starter {
    const char* name;
    const std::string* program;
    std::vector<std::string> args;
    Samples shown;
    Samples load;  // exec to the application object: loading and linking
  };
  Starter starters[] = {
      {"skorvatin", &app, {}, {}, {}},
      {"minimal Qt program, one label", &minimal, {}, {}, {}},
      {"bare Qt program, empty widget", &minimal, {"--bare"}, {}, {}},
  };
  const int reps = o.quick ? 3 : 21;
  for (int round = -1; round < reps; ++round) {
    for (int k = 0; k < 3; ++k) {
      Starter& s = starters[(k + std::max(round, 0)) % 3];
      const ChildRun run = probe(*s.program, s.args, "shown");
      if (round < 0) continue;
      s.shown.values.push_back(numberAfter(run.output, "at") - run.startedAt);
      s.load.values.push_back(numberAfter(run.output, "app") - run.startedAt);
    }
  }
  for (const Starter& s : starters) {
    report.addRow(0, "-", std::string("start-up to window shown: ") + s.name, "ms", s.shown);
  }
  for (const Starter& s : starters) {
    report.addRow(0, "-", std::string("  of it exec to QApplication: ") + s.name, "ms", s.load);
  }
  report.addMetric({"startup", 0, "-", starters[0].shown.median(), starters[1].shown.median(), 1.3, false, "",
                    "exec to first window exposed, offscreen, against a one-label Qt program"});
  report.addMetric({"startup_vs_bare", 0, "-", starters[0].shown.median(), starters[2].shown.median(), 0,
                    false, "", "against an empty QWidget that loads no font"});

  if (bigFolder.empty()) return;
  Samples big;
  Samples empty;
  Samples minimalRss;
  const int rssReps = o.quick ? 1 : 3;
  auto listedPeak = [&](const std::string& folder) {
    ::setenv("SKORVATIN_PROBE_LIST", folder.c_str(), 1);
    const ChildRun run = probe(app, {}, "listed");
    ::unsetenv("SKORVATIN_PROBE_LIST");
    return numberAfter(run.output, "hwm_kb") / 1024;
  };
  for (int round = 0; round < rssReps; ++round) {
    big.values.push_back(listedPeak(bigFolder));
    empty.values.push_back(listedPeak(emptyFolder));
    minimalRss.values.push_back(numberAfter(probe(minimal, {}, "shown").output, "hwm_kb") / 1024);
  }
  report.addRow(kLargest, "tmpfs", "peak RSS: skorvatin, 32767 files listed", "MiB", big);
  report.addRow(0, "tmpfs", "peak RSS: skorvatin, empty folder listed", "MiB", empty);
  report.addRow(0, "-", "peak RSS: minimal Qt program (one label)", "MiB", minimalRss);
  report.addMetric({"window_peak_rss", kLargest, "tmpfs", big.median(), minimalRss.median(), 0, false, "MiB",
                    "skorvatin with 32767 files listed / minimal Qt program"});
  const double perEntry = (big.median() - empty.median()) * 1024 * 1024 / kLargest;
  report.addRow(kLargest, "tmpfs", "window peak RSS per listed entry, names included", "B",
                Samples{{perEntry}});
}
#endif

// Cost from 1000 to 32767 files against n log n. The kernel's own readdir and rename costs are
// part of every contender's time and need not grow as n log n (tmpfs directory reads do not), so
// the engine is held to the larger of n log n and the raw loop's own growth.
void addGrowth(Report& report, const Options& o) {
  const int small = 1000;
  if (std::find(o.sizes.begin(), o.sizes.end(), small) == o.sizes.end() ||
      std::find(o.sizes.begin(), o.sizes.end(), kLargest) == o.sizes.end()) {
    return;
  }
  const double nlogn = (kLargest * std::log2(double{kLargest})) / (small * std::log2(double{small}));
  struct Pair {
    const char* metric;
    const char* ours;
    const char* raw;
  };
  const Pair pairs[] = {
      {"growth_list_read_all", "engine list read \"*.*\"", "raw list read \"*.*\""},
      {"growth_list_read_jpg", "engine list read \"*.jpg\"", "raw list read \"*.jpg\""},
      {"growth_numbering_defaults", "engine numbering run (defaults)", "raw two-pass renameat2 loop"},
      {"growth_numbering_zeros", "engine numbering run (leading zeros)", "raw two-pass renameat2 loop"},
      {"growth_conversion_lower", "engine conversion pass (lower case)", "raw one-pass loop (lower case)"},
      {"growth_conversion_underscores", "engine conversion pass (spaces to _)",
       "raw one-pass loop (spaces to _)"},
  };
  auto growth = [&](const std::string& fs, const char* contender) {
    const Row* a = report.find(small, fs, contender);
    const Row* b = report.find(kLargest, fs, contender);
    return a == nullptr || b == nullptr ? 0.0 : b->samples.median() / a->samples.median();
  };
  for (const Place& p : o.places) {
    for (const Pair& pair : pairs) {
      const double ours = growth(p.label, pair.ours);
      const double raw = growth(p.label, pair.raw);
      if (ours == 0 || raw == 0) continue;
      const double allowed = std::max(nlogn, raw);
      char note[200];
      std::snprintf(note, sizeof note, "n=1000 to 32767: engine grew %.1fx, raw loop %.1fx, n log n %.1fx",
                    ours, raw, nlogn);
      report.addMetric({pair.metric, kLargest, p.label, ours, allowed, 1.1, false, "", note});
    }
  }
}

// The machine and how busy it was: medians taken beside other work are read with that in mind.
std::string machineLine() {
  utsname u{};
  ::uname(&u);
  double load[3] = {0, 0, 0};
  ::getloadavg(load, 3);
  char line[256];
  std::snprintf(line, sizeof line, "kernel %s, %ld CPUs, load average %.2f %.2f %.2f", u.release,
                ::sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1], load[2]);
  return line;
}

int run(int argc, char** argv) {
  const Options o = parseOptions(argc, argv);
  // Qt warns on every start without a runtime folder; a private one keeps the output clean.
  const std::unique_ptr<BenchFolder> runtimeDir =
      std::getenv("XDG_RUNTIME_DIR") == nullptr
          ? std::make_unique<BenchFolder>("/tmp", std::vector<std::string>{}, false)
          : nullptr;
  if (runtimeDir) {
    ::chmod(runtimeDir->path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtimeDir->path().c_str(), 1);
  }
  const std::string startedOn = machineLine();
  Report report;
  std::string keptBigFolder;
  std::unique_ptr<BenchFolder> keptBig;
  std::unique_ptr<BenchFolder> emptyFolder;

  for (const Place& place : kFixedPlaces) removeStaleFolders(place.root);
  for (const Place& given : o.places) {
    Place place = given;
    std::unique_ptr<SlowPlace> slow;
    std::unique_ptr<BenchFolder> own;  // a named place's subfolder, which holds everything made there
    std::string backing;
    if (isSlow(place.label)) {
      const std::string why = SlowPlace::unavailableBecause();
      if (!why.empty()) {
        std::fprintf(stderr, "bench: the slow place is unavailable: %s\n", why.c_str());
        continue;
      }
      slow = std::make_unique<SlowPlace>(o.slowDelayMicroseconds);
      place.root = slow->mountPoint();
      backing = slow->backing();
      std::fprintf(stderr, "bench: slow is a FUSE mirror of %s answering after %d us\n", backing.c_str(),
                   o.slowDelayMicroseconds);
    } else if (place.label.rfind("place:", 0) == 0) {
      own = std::make_unique<BenchFolder>(place.root, std::vector<std::string>{}, false);
      place.root = own->path();
    }
    std::fprintf(stderr, "bench: %s is %s (%s)\n", place.label.c_str(), place.root.c_str(),
                 fileSystemName(place.root).c_str());
    for (const int n : o.sizes) {
      if (slow && !o.sizesGiven && n > 4000) continue;
      auto folder = std::make_unique<BenchFolder>(place.root, realisticNames(n), true, backing);
      if (o.parts.count("list")) benchList(report, o, *folder, place.label, n, slow.get());
      if (o.parts.count("memory") && place.label == "tmpfs") benchMemory(report, *folder, place.label, n);
      if (o.parts.count("numbering")) benchNumbering(report, o, *folder, place.label, n, slow.get());
      if (o.parts.count("conversion")) benchConversion(report, o, *folder, place.label, n, slow.get());
#ifdef SKORVATIN_BENCH_WINDOW
      if (o.parts.count("window") && place.label == "tmpfs" && n == kLargest) {
        benchWindow(report, o.quick, *folder, place.label, n);
      }
#endif
      if (place.label == "tmpfs" && n == kLargest) {
        folder->rebuild();
        keptBig = std::move(folder);
      }
    }
  }
#ifdef SKORVATIN_BENCH_WINDOW
  if (o.parts.count("startup")) {
    if (!keptBig && o.parts.count("window")) {
      keptBig = std::make_unique<BenchFolder>("/dev/shm", realisticNames(kLargest));
    }
    emptyFolder = std::make_unique<BenchFolder>("/dev/shm", std::vector<std::string>{});
    benchStartup(report, o, keptBig ? keptBig->path() : std::string(), emptyFolder->path());
  }
#endif
  addGrowth(report, o);
  std::printf("machine at the start: %s\nmachine at the end:   %s\n", startedOn.c_str(),
              machineLine().c_str());
  report.print();
  return 0;
}

}  // namespace
}  // namespace skorvatin::bench

int main(int argc, char** argv) {
  try {
    return skorvatin::bench::run(argc, argv);
  } catch (const skorvatin::RunError& e) {
    std::fprintf(stderr, "bench: error %d %s: %s %s\n", e.number(), std::string(e.text()).c_str(),
                 e.file().c_str(), e.detail().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench: %s\n", e.what());
  }
  return 1;
}
