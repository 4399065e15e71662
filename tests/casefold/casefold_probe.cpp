// Runs the rename service against the file system that holds DIR and prints one line per check:
// "PASS name", "FAIL name: why" or "NOTE what the system itself answered". Built static, so it runs
// inside the small test machine that mounts vfat, exfat and ext4 with casefold (see
// scripts/test-fs.sh), where this machine's kernel has no driver for them.
//
//   casefold_probe DIR             all checks, in fresh subfolders of DIR; exit 1 on any failure
//   casefold_probe --casefold DIR  mark the empty folder DIR case-insensitive (ext4 "chattr +F")

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
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
#include "tests/support/folder_spy.h"

namespace {

using skorvatin::RunError;
using skorvatin::platform::RenameStrategy;
using Names = std::vector<std::string>;

constexpr unsigned kCasefoldFlag = 0x40000000;  // FS_CASEFOLD_FL

int markCasefold(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return std::printf("open: %s\n", std::strerror(errno)), 1;
  unsigned flags = 0;
  int rc = ::ioctl(fd, _IOR('f', 1, long), &flags);
  if (rc == 0) {
    flags |= kCasefoldFlag;
    rc = ::ioctl(fd, _IOW('f', 2, long), &flags);
  }
  std::printf("%s\n", rc == 0 ? "OK" : std::strerror(errno));
  ::close(fd);
  return rc == 0 ? 0 : 1;
}

const char* strategyName(RenameStrategy s) {
  switch (s) {
    case RenameStrategy::Automatic:
      return "auto";
    case RenameStrategy::LinkUnlink:
      return "link";
    case RenameStrategy::CheckedRename:
      return "checked";
  }
  return "?";
}

// Every check works in a folder of its own and reads the result back from the file system.
class Check {
 public:
  Check(std::string dir, RenameStrategy strategy, bool ci)
      : caseInsensitive(ci), dir_(std::move(dir)), strategy_(strategy) {
    ::mkdir(dir_.c_str(), 0755);
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void write(const std::string& name, const std::string& content) {
    const int fd = ::open(path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return fail("cannot create " + name + ": " + std::strerror(errno));
    if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
      fail("short write");
    ::close(fd);
  }

  std::string read(const std::string& name) const {
    std::string out;
    const int fd = ::open(path(name).c_str(), O_RDONLY);
    if (fd < 0) return "<" + std::string(std::strerror(errno)) + ">";
    char buf[256];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return out;
  }

  ino_t inode(const std::string& name) const {
    struct stat st {};
    return ::lstat(path(name).c_str(), &st) == 0 ? st.st_ino : 0;
  }

  Names listing() const { return skorvatin::probe::listing(dir_); }

  // 0 on success, else the error number; the error's text goes to lastError.
  int rename(const std::string& from, const std::string& to) {
    try {
      skorvatin::platform::PosixFolders(strategy_).open(dir_)->rename(from, to);
      return 0;
    } catch (const RunError& e) {
      lastError = e.what();
      return e.number();
    }
  }

  void expect(bool ok, const std::string& what) {
    if (!ok) fail(what);
  }
  void expectNumber(int got, int want, const std::string& step) {
    if (got != want)
      fail(step + " gave " + std::to_string(got) + " (want " + std::to_string(want) + ") " + lastError);
  }
  void expectListing(const Names& want) {
    const Names got = listing();
    if (got == want) return;
    std::string s = "listing:";
    for (const auto& n : got) s += " [" + n + "]";
    fail(s);
  }
  void fail(const std::string& why) {
    if (problem_.empty()) problem_ = why;
  }
  const std::string& problem() const { return problem_; }

  const std::string& dir() const { return dir_; }

  const bool caseInsensitive;
  std::string lastError;

 private:
  std::string dir_;
  RenameStrategy strategy_;
  std::string problem_;
};

struct CheckCase {
  const char* name;
  std::function<void(Check&)> run;
};

const std::vector<CheckCase>& renameChecks() {
  static const std::vector<CheckCase> checks = {
      {"fresh-name",
       [](Check& c) {
         c.write("x.txt", "x");
         const ino_t before = c.inode("x.txt");
         c.expectNumber(c.rename("x.txt", "y.txt"), 0, "x.txt -> y.txt");
         c.expectListing({"y.txt"});
         c.expect(c.inode("y.txt") == before, "inode changed");
         c.expect(c.read("y.txt") == "x", "content changed");
       }},
      {"case-only-keeps-inode",
       [](Check& c) {
         c.write("plik.txt", "p");
         const ino_t before = c.inode("plik.txt");
         c.expectNumber(c.rename("plik.txt", "PLIK.TXT"), 0, "plik.txt -> PLIK.TXT");
         c.expectListing({"PLIK.TXT"});
         c.expect(c.inode("PLIK.TXT") == before, "inode changed");
         c.expect(c.read("PLIK.TXT") == "p", "content changed");
       }},
      {"case-only-long-name",
       [](Check& c) {
         c.write("Zdjecie z wakacji.jpeg", "z");
         const ino_t before = c.inode("Zdjecie z wakacji.jpeg");
         c.expectNumber(c.rename("Zdjecie z wakacji.jpeg", "ZDJECIE Z WAKACJI.JPEG"), 0,
                        "long name to upper case");
         c.expectListing({"ZDJECIE Z WAKACJI.JPEG"});
         c.expect(c.inode("ZDJECIE Z WAKACJI.JPEG") == before, "inode changed");
       }},
      {"case-only-polish",
       [](Check& c) {
         c.write("\xc5\x82\xc3\xb3\x64\xc5\xba.jpg", "l");  // łódź.jpg
         const ino_t before = c.inode("\xc5\x82\xc3\xb3\x64\xc5\xba.jpg");
         c.expectNumber(c.rename("\xc5\x82\xc3\xb3\x64\xc5\xba.jpg", "\xc5\x81\xc3\x93\x44\xc5\xb9.JPG"), 0,
                        "łódź.jpg -> ŁÓDŹ.JPG");
         c.expectListing({"\xc5\x81\xc3\x93\x44\xc5\xb9.JPG"});
         c.expect(c.inode("\xc5\x81\xc3\x93\x44\xc5\xb9.JPG") == before, "inode changed");
       }},
      {"case-round-trip",
       [](Check& c) {
         c.write("a.txt", "a");
         const ino_t before = c.inode("a.txt");
         c.expectNumber(c.rename("a.txt", "A.TXT"), 0, "a.txt -> A.TXT");
         c.expectListing({"A.TXT"});
         c.expectNumber(c.rename("A.TXT", "a.txt"), 0, "A.TXT -> a.txt");
         c.expectListing({"a.txt"});
         c.expect(c.inode("a.txt") == before, "inode changed");
       }},
      {"case-variant-taken",
       [](Check& c) {
         c.write("a.txt", "a");
         c.write("B.TXT", "B");
         if (c.caseInsensitive) {
           c.expectNumber(c.rename("a.txt", "b.txt"), 58, "a.txt -> b.txt beside B.TXT");
           c.expectListing({"B.TXT", "a.txt"});
           c.expect(c.read("a.txt") == "a", "a.txt changed");
         } else {
           c.expectNumber(c.rename("a.txt", "b.txt"), 0, "a.txt -> b.txt beside B.TXT");
           c.expectListing({"B.TXT", "b.txt"});
         }
         c.expect(c.read("B.TXT") == "B", "B.TXT changed");
       }},
      {"exact-name-taken",
       [](Check& c) {
         c.write("a.txt", "a");
         c.write("b.txt", "b");
         c.expectNumber(c.rename("a.txt", "b.txt"), 58, "a.txt -> b.txt");
         c.expectListing({"a.txt", "b.txt"});
         c.expect(c.read("a.txt") == "a" && c.read("b.txt") == "b", "content changed");
       }},
      {"identical-path",
       [](Check& c) {
         c.write("a.txt", "a");
         c.expectNumber(c.rename("a.txt", "a.txt"), 0, "a.txt -> a.txt");
         c.expectNumber(c.rename("gone.txt", "gone.txt"), 53, "missing -> itself");
         c.expectListing({"a.txt"});
       }},
      // FAT refuses some characters; wherever the name is refused, the file must stay as it was.
      {"refused-name-keeps-file",
       [](Check& c) {
         c.write("a.txt", "a");
         const int got = c.rename("a.txt", "a:b?.txt");
         if (got == 0) {
           c.expectListing({"a:b?.txt"});
         } else {
           c.expectNumber(got, 52, "a.txt -> a:b?.txt");
           c.expectListing({"a.txt"});
         }
       }},
  };
  return checks;
}

// 0 when the operation ran through, else the number it stopped with.
int outcome(Check& c, const std::function<void()>& operation) {
  try {
    operation();
    return 0;
  } catch (const RunError& e) {
    c.lastError = e.what();
    return e.number();
  }
}

int convertCase(Check& c, skorvatin::CaseMode mode) {
  return outcome(c, [&] {
    skorvatin::platform::PosixFolders folders;
    skorvatin::FileList list(folders);
    list.setPath(c.dir());
    skorvatin::testing::SilentPassView view;
    skorvatin::runConversionPass(
        list, view, [] {}, [mode](const std::string& name) { return skorvatin::changeCase(name, mode); });
  });
}

int number(Check& c, const std::string& mask, const std::string& prefix) {
  return outcome(c, [&] {
    skorvatin::platform::PosixFolders folders;
    skorvatin::FileList list(folders);
    list.setPath(c.dir());
    list.setPattern(mask);
    skorvatin::NumberingSettings options;
    options.prefix = prefix;
    skorvatin::NumberingRun run(list, options, [] {});
    run.run();
  });
}

skorvatin::FolderService& real() {
  static skorvatin::platform::PosixFolders folders;
  return folders;
}

// The program's process ending at a rename, as a kill would end it: no undo runs.
struct ProcessKilled {};

// A numbering run that keeps its journal in `state`; with `killAt`, the process "dies" at that
// rename and the journal is left unfinished.
int numberWithJournal(Check& c, skorvatin::JournalStore& state, int killAt = 0) {
  skorvatin::platform::PosixFolders real;
  skorvatin::testing::FolderSpy folders(real);
  folders.beforeRename = [&](const std::string&, const std::string&) {
    if (folders.renamesDone + 1 == killAt) throw ProcessKilled{};
  };
  return outcome(c, [&] {
    skorvatin::FileList list(folders);
    list.setPath(c.dir());
    skorvatin::NumberingSettings options;
    skorvatin::NumberingRun run(
        list, options, [] {}, &state);
    try {
      run.run();
    } catch (const ProcessKilled&) {
    }
  });
}

// The engine's operations through the rename service, as the window runs them.
const std::vector<CheckCase>& engineChecks() {
  static const std::vector<CheckCase> checks = {
      // The journal finds files by the numbers a listing gives; they must be the numbers a look-up
      // gives, here too, also after a rename.
      {"listing-inodes-are-look-up-inodes",
       [](Check& c) {
         c.write("a.jpg", "a");
         c.write("B.JPG", "b");
         ::mkdir(c.path("folder").c_str(), 0755);
         const auto folder = skorvatin::platform::PosixFolders().open(c.dir());
         folder->rename("a.jpg", "A2.jpg");
         std::size_t seen = 0;
         folder->forEachEntry([&](std::string_view name, skorvatin::EntryKind, std::uint64_t inode) {
           const auto id = folder->lookUp(std::string(name));
           c.expect(id.has_value() && id->inode == inode,
                    "listing and look-up disagree on " + std::string(name));
           ++seen;
         });
         c.expect(seen == 3, "listing misses entries");
       }},
      // A finished run undone, and a run cut off at each rename recovered, from journals on disk.
      {"journal-undo-and-recovery",
       [](Check& c) {
         // One probe runs per file system, all in one machine: a journal that one of them leaves
         // unfinished must not be asked about by the next.
         static int stateCount = 0;
         const std::string statePath =
             "/tmp/journal-" + std::to_string(::getpid()) + "-" + std::to_string(++stateCount);
         skorvatin::platform::JournalFolder state(statePath);
         const std::vector<std::string> before = {"Plik2.jpg", "b.JPG", "plik1.jpg"};
         for (const auto& name : before) c.write(name, name);
         c.expectNumber(numberWithJournal(c, state), 0, "numbering with a journal");
         c.expectListing({"Plik1.JPG", "Plik2.jpg", "Plik3.jpg"});
         c.expectNumber(outcome(c,
                                [&] {
                                  skorvatin::FileList none(real());
                                  skorvatin::undoBatch(state, none, nullptr, state.history().front().id);
                                }),
                        0, "undo");
         c.expectListing(before);
         for (int k = 1; k <= 6; ++k) {
           {
             // The journal folder of the process that dies: its locks go with it.
             skorvatin::platform::JournalFolder dying(statePath);
             c.expectNumber(numberWithJournal(c, dying, k), 0, "numbering cut off at " + std::to_string(k));
           }
           skorvatin::platform::JournalFolder next(statePath);
           const auto unfinished = next.unfinished();
           c.expect(unfinished.size() == 1, "no unfinished journal after a cut at " + std::to_string(k));
           if (unfinished.size() != 1) break;
           c.expectNumber(outcome(c,
                                  [&] {
                                    skorvatin::FileList none(real());
                                    skorvatin::recoverBatch(next, none, nullptr, unfinished.front().id);
                                  }),
                          0, "recovery after a cut at " + std::to_string(k));
           c.expectListing(before);
         }
         for (const auto& name : before) c.expect(c.read(name) == name, "content of " + name + " moved");
       }},
      {"conversion-pass-upper-then-lower",
       [](Check& c) {
         c.write("zdj\xc4\x99\x63ie1.jpg", "1");            // zdjęcie1.jpg
         c.write("\xc5\x81\xc3\xb3\x64\xc5\xba.TXT", "2");  // Łódź.TXT
         c.write("Raport Roczny.doc", "3");
         const ino_t first = c.inode("zdj\xc4\x99\x63ie1.jpg");
         c.expectNumber(convertCase(c, skorvatin::CaseMode::AllUpper), 0, "to upper case");
         c.expectListing({"RAPORT ROCZNY.DOC", "ZDJ\xc4\x98\x43IE1.JPG", "\xc5\x81\xc3\x93\x44\xc5\xb9.TXT"});
         c.expect(c.inode("ZDJ\xc4\x98\x43IE1.JPG") == first, "inode changed");
         c.expect(c.read("RAPORT ROCZNY.DOC") == "3", "content changed");
         c.expectNumber(convertCase(c, skorvatin::CaseMode::AllLower), 0, "to lower case");
         c.expectListing({"raport roczny.doc", "zdj\xc4\x99\x63ie1.jpg", "\xc5\x82\xc3\xb3\x64\xc5\xba.txt"});
         c.expect(c.inode("zdj\xc4\x99\x63ie1.jpg") == first, "inode changed");
       }},
      // Only files are listed, so a folder that answers to a final name is outside the batch;
      // where case is ignored it takes "Plik1.jpg" and the run must stop before its first rename.
      {"numbering-case-variant-taken",
       [](Check& c) {
         c.write("a.jpg", "a");
         c.write("b.jpg", "b");
         ::mkdir(c.path("PLIK1.JPG").c_str(), 0755);
         if (c.caseInsensitive) {
           c.expectNumber(number(c, "*.jpg", "Plik"), 58, "numbering beside PLIK1.JPG");
           c.expectListing({"PLIK1.JPG", "a.jpg", "b.jpg"});
         } else {
           c.expectNumber(number(c, "*.jpg", "Plik"), 0, "numbering beside PLIK1.JPG");
           c.expectListing({"PLIK1.JPG", "Plik1.jpg", "Plik2.jpg"});
         }
         c.expect(c.read(c.caseInsensitive ? "a.jpg" : "Plik1.jpg") == "a", "content moved");
       }},
      // Final names that are case variants of the batch's own names are free: those files move
      // away to their ".q" names first.
      {"numbering-own-case-variants",
       [](Check& c) {
         c.write("PLIK1.jpg", "1");
         c.write("plik2.JPG", "2");
         const ino_t first = c.inode("PLIK1.jpg");
         c.expectNumber(number(c, "*.jpg", "Plik"), 0, "numbering PLIK1.jpg, plik2.JPG");
         c.expectListing({"Plik1.jpg", "Plik2.JPG"});
         c.expect(c.inode("Plik1.jpg") == first, "inode changed");
         c.expect(c.read("Plik2.JPG") == "2", "content changed");
       }},
  };
  return checks;
}

std::string errnoName(int e) {
  switch (e) {
    case 0:
      return "0";
    case EEXIST:
      return "EEXIST";
    case EINVAL:
      return "EINVAL";
    case EPERM:
      return "EPERM";
    case EOPNOTSUPP:
      return "EOPNOTSUPP";
    case ENOSYS:
      return "ENOSYS";
    case EILSEQ:
      return "EILSEQ";
    default:
      return std::strerror(e);
  }
}

// What the file system answers the raw calls the service chooses between, so a report can say
// which way the service went there.
bool noteSystemAnswers(const std::string& dir) {
  const std::string d = dir + "/raw";
  ::mkdir(d.c_str(), 0755);
  const std::string a = d + "/a.txt", upper = d + "/A.TXT", fresh = d + "/fresh.txt";
  ::close(::open(a.c_str(), O_WRONLY | O_CREAT, 0644));
  auto call = [](long rc) { return rc == 0 ? 0 : errno; };
  struct stat sa {
  }, su{};
  const bool sameFile =
      ::stat(a.c_str(), &sa) == 0 && ::stat(upper.c_str(), &su) == 0 && sa.st_ino == su.st_ino;
  const int link = call(::link(a.c_str(), fresh.c_str()));
  const int caseOnly = call(::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, upper.c_str(), 1));
  std::printf("NOTE a.txt and A.TXT are %s; renameat2(NOREPLACE) a.txt->A.TXT: %s; link(): %s\n",
              sameFile ? "one file (case-insensitive)" : "two names (case-sensitive)",
              errnoName(caseOnly).c_str(), errnoName(link).c_str());
  return sameFile;
}

int runAll(const std::string& dir) {
  const bool caseInsensitive = noteSystemAnswers(dir);
  int failures = 0, n = 0;
  auto report = [&failures](const std::string& label, const std::string& problem) {
    if (problem.empty()) {
      std::printf("PASS %s\n", label.c_str());
    } else {
      ++failures;
      std::printf("FAIL %s: %s\n", label.c_str(), problem.c_str());
    }
    std::fflush(stdout);
  };
  for (auto strategy :
       {RenameStrategy::Automatic, RenameStrategy::LinkUnlink, RenameStrategy::CheckedRename}) {
    for (const auto& check : renameChecks()) {
      Check c(dir + "/c" + std::to_string(n++), strategy, caseInsensitive);
      check.run(c);
      report(std::string(strategyName(strategy)) + "/" + check.name, c.problem());
    }
  }
  for (const auto& check : engineChecks()) {
    Check c(dir + "/c" + std::to_string(n++), RenameStrategy::Automatic, caseInsensitive);
    check.run(c);
    report(std::string("engine/") + check.name, c.problem());
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--casefold") return markCasefold(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: casefold_probe DIR | --casefold DIR\n");
    return 2;
  }
  return runAll(argv[1]);
}
