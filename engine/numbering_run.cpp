#include "engine/numbering_run.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <set>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "engine/name_order.h"
#include "engine/number_text.h"
#include "engine/run_error.h"

namespace skorvatin {

namespace {

constexpr const char* kSuffix = ".q";

std::size_t nameMax(const std::string& folderPrefix) {
  const long n = pathconf(folderPrefix.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : 255;
}

// A bare name the file system can hold in this folder: anything with "/" would move the file
// elsewhere, and "." or ".." name folders.
bool isBareName(const std::string& name, std::size_t maxBytes) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos && name.size() <= maxBytes;
}

// What the user is told about a name the check refused: the name, and why when it is its length.
std::string refusedName(const std::string& name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  return name + ": nazwa dłuższa niż " + std::to_string(maxBytes) + " bajtów";
}

// Whether something already bears `path`; a dangling symlink counts, so nothing follows links.
std::optional<struct stat> entryAt(const std::string& path) {
  struct stat st {};
  if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return st;
  if (errno == ENOENT) return std::nullopt;
  throw RunError::fromErrno(errno, path);
}

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A name a case-blind file system folds like any other: plain ASCII with a letter in it. Names with
// other bytes are left out because a case-blind folder may compare a name that is not valid UTF-8
// byte for byte, which would make the folder look case-sensitive.
bool isCaseProbe(std::string_view name) {
  bool letter = false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    letter = letter || isAsciiLetter(c);
  }
  return letter;
}

// Whether the folder finds `name` under its case-flipped spelling too. Anything short of a clear
// "no" (the name gone meanwhile, a look-up that fails) answers yes, which only costs speed.
bool ignoresCase(const std::string& folderPrefix, const std::string& name) {
  std::string flipped = name;
  for (char& c : flipped) {
    if (isAsciiLetter(c)) c = static_cast<char>(c ^ 0x20);
  }
  struct stat original {};
  if (fstatat(AT_FDCWD, (folderPrefix + name).c_str(), &original, AT_SYMLINK_NOFOLLOW) != 0) return true;
  struct stat other {};
  if (fstatat(AT_FDCWD, (folderPrefix + flipped).c_str(), &other, AT_SYMLINK_NOFOLLOW) != 0)
    return errno != ENOENT;
  return other.st_dev == original.st_dev && other.st_ino == original.st_ino;
}

// Every name in the folder exactly as it is stored, hidden files and subfolders included, when
// that alone tells whether a name is taken. A case-blind folder (vfat, a casefolded ext4 folder)
// also answers to spellings it does not list, so there, or when the folder cannot be read or
// probed, the answer is none and every name is looked up on its own. One listing is far cheaper
// than three look-ups per file in a large folder.
std::optional<std::unordered_set<std::string>> exactNames(const std::string& folderPrefix,
                                                          std::size_t expected) {
  DIR* dir = opendir(folderPrefix.c_str());
  if (dir == nullptr) return std::nullopt;
  std::unordered_set<std::string> names;
  names.reserve(expected + 64);
  const std::string* probe = nullptr;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    const auto [it, added] = names.emplace(entry->d_name);
    if (added && probe == nullptr && isCaseProbe(*it)) probe = &*it;
  }
  const int readError = errno;
  closedir(dir);
  if (readError != 0 || probe == nullptr || ignoresCase(folderPrefix, *probe)) return std::nullopt;
  return names;
}

}  // namespace

NumberingRun::NumberingRun(FileList& list, NumberingOptions& options, RenameService& renamer, EventPump pump)
    : list_(list), options_(options), renamer_(renamer), pump_(std::move(pump)) {}

void NumberingRun::Command1_Click() {
  if (list_.ListCount() == 0) return;
  if (options_.Check1Value() == 1) {
    const std::int32_t last = ObliczOstatniNumer();
    SzerokoscNumeru = CheckedInt32(DecimalText(last).size());
    Zera();
  } else {
    SzerokoscNumeru = 0;
  }
  Batch batch = plan();
  try {
    ZmieniajRozszerzenia(batch);
    Go(batch);
  } catch (RunError& e) {
    rollBack(batch, std::move(e));
  }
  KońcoweOpcje();
}

std::int32_t NumberingRun::ObliczOstatniNumer() {
  const std::int32_t s = RoundToInt32(TextValue(options_.Text1()));
  const std::int32_t d = RoundToInt32(TextValue(options_.Text2()));
  const std::int32_t n = list_.ListCount();
  std::int32_t last = CheckedMul(n, d);
  last = CheckedAdd(last, s);
  last = CheckedSub(last, d);
  letEventsRun();
  return last;
}

std::string NumberingRun::Numer(std::int32_t& index, const std::int32_t& step) {
  index = CheckedAdd(index, 1);
  const double start = TextValue(options_.Text1());
  const std::int32_t product = CheckedMul(index, step);
  // The start stays a double (a fractional start gives fractional numbers); subtracting the step
  // before adding the product keeps every file's value start + i * step.
  const double x = (start - static_cast<double>(step)) + static_cast<double>(product);
  std::string text = DoubleText(x, options_.DecimalSeparator());
  if (SzerokoscNumeru != 0) {
    const std::int32_t missing = CheckedSub(SzerokoscNumeru, CheckedInt32(text.size()));
    // A text longer than the width (a minus sign, a fraction, a falling run) keeps its own length.
    if (missing > 0) text = CiagZer.substr(0, static_cast<std::size_t>(missing)) + text;
  }
  return text;
}

void NumberingRun::Zera() {
  CiagZer.clear();
  const std::int32_t count = SzerokoscNumeru;
  for (std::int32_t j = 1; j <= count; ++j) CiagZer += '0';
}

std::string NumberingRun::WyłuskajRozszerzenie(const std::string& name) {
  // ".q" is two ASCII bytes, and "." never occurs inside a multi-byte UTF-8 sequence, so byte
  // positions are character positions for both steps.
  const std::string stem = name.substr(0, name.size() >= 2 ? name.size() - 2 : 0);
  const std::size_t dot = stem.rfind('.');
  if (dot == std::string::npos) return {};
  return stem.substr(dot);
}

void NumberingRun::letEventsRun() {
  if (pump_) pump_();
}

void NumberingRun::KońcoweOpcje() {
  letEventsRun();
  File_Refresh(list_, pump_);
  letEventsRun();
}

NumberingRun::Batch NumberingRun::plan() {
  Batch batch;
  batch.folderPrefix = FolderPrefix(list_.Path());
  batch.files.reserve(static_cast<std::size_t>(list_.ListCount()));
  const std::int32_t limit = CheckedSub16(list_.ListCount(), 1);
  for (std::int32_t i = 0; i <= limit; ++i) {
    const std::string& name = list_.List(static_cast<std::int16_t>(i));
    batch.files.push_back({name, name + kSuffix, {}, 0, 0});
  }
  // The files are numbered in the order the list gives their suffixed names ("ab.c.q" before
  // "ab.q"), exactly as a re-read list between the passes would show them.
  batch.ordered.resize(batch.files.size());
  std::iota(batch.ordered.begin(), batch.ordered.end(), std::size_t{0});
  const auto byTemporary = [&](std::size_t a, std::size_t b) {
    return nameLess(batch.files[a].temporary, batch.files[b].temporary);
  };
  // Mostly the suffix changes no order; one look along the list is cheaper than a sort.
  if (!std::is_sorted(batch.ordered.begin(), batch.ordered.end(), byTemporary)) {
    std::stable_sort(batch.ordered.begin(), batch.ordered.end(), byTemporary);
  }
  computeFinalNames(batch);
  batch.present = exactNames(batch.folderPrefix, batch.files.size());
  for (BatchFile& f : batch.files) {
    if (batch.present) {
      if (batch.present->count(f.original) == 0)
        throw RunError::fromErrno(ENOENT, batch.folderPrefix + f.original);
      continue;
    }
    const std::string path = batch.folderPrefix + f.original;
    const auto st = entryAt(path);
    if (!st) throw RunError::fromErrno(ENOENT, path);
    f.dev = st->st_dev;
    f.ino = st->st_ino;
  }
  check(batch);
  return batch;
}

void NumberingRun::computeFinalNames(Batch& batch) {
  const std::int32_t step = RoundToInt32(TextValue(options_.Text2()));
  const std::string after = options_.Text5();
  for (std::size_t position = 0; position < batch.ordered.size(); ++position) {
    BatchFile& f = batch.files[batch.ordered[position]];
    const std::string prefix = options_.Text3();
    std::int32_t index = CheckedInt32(position);
    std::string number;
    try {
      number = Numer(index, step);
    } catch (const RunError& e) {
      throw RunError(e.number(), batch.folderPrefix + f.original, e.detail());
    }
    f.final = prefix + number + after + WyłuskajRozszerzenie(f.temporary);
  }
}

void NumberingRun::check(const Batch& batch) const {
  const std::size_t maxBytes = nameMax(batch.folderPrefix);
  std::set<std::pair<dev_t, ino_t>> own;
  std::unordered_set<std::string_view> originals;
  std::unordered_set<std::string_view> temporaries;
  originals.reserve(batch.files.size());
  temporaries.reserve(batch.files.size());
  for (const BatchFile& f : batch.files) {
    if (batch.present) {
      originals.insert(f.original);
    } else {
      own.insert({f.dev, f.ino});
    }
    temporaries.insert(f.temporary);
  }

  // Every temporary name must be free, even when a file of the batch holds it: the suffix pass
  // goes in list order, so "x" would meet "x.q" before "x.q" has moved on.
  for (const BatchFile& f : batch.files) {
    if (!isBareName(f.temporary, maxBytes)) {
      throw RunError(err::BadFileName, batch.folderPrefix + f.original, refusedName(f.temporary, maxBytes));
    }
    const bool taken = batch.present ? batch.present->count(f.temporary) != 0
                                     : entryAt(batch.folderPrefix + f.temporary).has_value();
    if (taken) throw RunError(err::FileAlreadyExists, batch.folderPrefix + f.original, f.temporary);
  }

  std::unordered_set<std::string_view> finals;
  finals.reserve(batch.files.size());
  for (std::size_t i : batch.ordered) {
    const BatchFile& f = batch.files[i];
    if (!isBareName(f.final, maxBytes)) {
      throw RunError(err::BadFileName, batch.folderPrefix + f.original, refusedName(f.final, maxBytes));
    }
    if (!finals.insert(f.final).second || temporaries.count(f.final) != 0) {
      throw RunError(err::FileAlreadyExists, batch.folderPrefix + f.original, f.final);
    }
    // Files of the batch will have moved to their temporary names by then; anything else that
    // answers to the name (hidden files, folders, a case variant on a case-blind file system)
    // would stop the rename. In the listing a file of the batch is known by its name: another
    // link to the same file would still stand in the way.
    bool taken = false;
    if (batch.present) {
      taken = batch.present->count(f.final) != 0 && originals.count(f.final) == 0;
    } else {
      const auto st = entryAt(batch.folderPrefix + f.final);
      taken = st && own.count({st->st_dev, st->st_ino}) == 0;
    }
    if (taken) throw RunError(err::FileAlreadyExists, batch.folderPrefix + f.original, f.final);
  }
}

void NumberingRun::ZmieniajRozszerzenia(Batch& batch) {
  for (std::size_t i = 0; i < batch.files.size(); ++i) {
    rename(batch, i, batch.files[i].original, batch.files[i].temporary);
  }
  letEventsRun();
}

void NumberingRun::Go(Batch& batch) {
  // The re-read between the passes is kept for the window's sake (it shows the suffixed names);
  // the pass itself works on the batch, so a file that appeared meanwhile is never touched.
  File_Refresh(list_, pump_);
  letEventsRun();
  for (std::size_t i : batch.ordered) rename(batch, i, batch.files[i].temporary, batch.files[i].final);
}

void NumberingRun::rename(Batch& batch, std::size_t file, const std::string& from, const std::string& to) {
  try {
    renamer_.Rename(batch.folderPrefix + from, batch.folderPrefix + to);
  } catch (const RunError& e) {
    // The run is undone before the user hears of it, so a file that failed under its temporary
    // name is named by its first one: that is where it is found afterwards, or what the list of
    // misplaced files leads back to.
    const std::string original = batch.folderPrefix + batch.files[file].original;
    if (e.file() != batch.folderPrefix + from || e.file() == original) throw;
    RunError named(e.number(), original, e.detail());
    for (const MisplacedFile& m : e.misplaced()) named.addMisplaced(m);
    throw named;
  }
  batch.journal.push_back({file, from, to});
}

void NumberingRun::rollBack(Batch& batch, RunError error) {
  std::vector<std::string> current;
  current.reserve(batch.files.size());
  for (const BatchFile& f : batch.files) current.push_back(f.original);
  for (const Renamed& r : batch.journal) current[r.file] = r.to;

  // Undoing in exactly the reverse order frees every name just before it is needed again.
  for (auto it = batch.journal.rbegin(); it != batch.journal.rend(); ++it) {
    // A file whose later undo failed stays where it is; its earlier steps no longer apply.
    if (current[it->file] != it->to) continue;
    try {
      renamer_.Rename(batch.folderPrefix + it->to, batch.folderPrefix + it->from);
      current[it->file] = it->from;
    } catch (const RunError&) {
      // Reported below: the file is listed with the name it is left under.
    }
  }
  struct stat folderSt {};
  const bool folderThere = fstatat(AT_FDCWD, batch.folderPrefix.c_str(), &folderSt, 0) == 0;
  for (std::size_t i = 0; i < batch.files.size(); ++i) {
    // A file that someone else deleted meanwhile is not under any name: telling the user where it
    // is would send them looking for nothing. When the look itself fails, or the whole folder has
    // gone elsewhere with the file in it, the file is listed.
    struct stat st {};
    const std::string currentPath = batch.folderPrefix + current[i];
    const bool gone = folderThere && fstatat(AT_FDCWD, currentPath.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
                      errno == ENOENT;
    if (current[i] != batch.files[i].original && !gone) {
      error.addMisplaced({currentPath, batch.folderPrefix + batch.files[i].original});
    }
  }

  try {
    File_Refresh(list_, pump_);
  } catch (const RunError& refreshError) {
    // The rename failure is what the user must see; the failed re-read goes along in its detail.
    std::string detail = error.detail();
    if (!detail.empty()) detail += "; ";
    detail += refreshError.what();
    RunError combined(error.number(), error.file(), detail);
    for (const MisplacedFile& m : error.misplaced()) combined.addMisplaced(m);
    throw combined;
  }
  throw error;
}

}  // namespace skorvatin
