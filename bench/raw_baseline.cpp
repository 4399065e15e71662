#include "bench/raw_baseline.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace skorvatin::bench {

namespace {

int compareCaseless(const void* a, const void* b) {
  return ::strcasecmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

[[noreturn]] void fail(const char* what, const std::string& path) {
  throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

class DirFd {
 public:
  explicit DirFd(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) fail("open", path);
  }
  ~DirFd() { ::close(fd_); }
  DirFd(const DirFd&) = delete;
  DirFd& operator=(const DirFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

void renameOrFail(int dfd, const char* from, const char* to, const std::string& folder) {
  if (::renameat2(dfd, from, dfd, to, RENAME_NOREPLACE) != 0) fail("renameat2", folder + "/" + from);
}

// Polish capitals in UTF-8 are two bytes whose lower-case form differs in the last byte only.
void lowerInPlace(char* s) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(s); *p != 0; ++p) {
    if (*p >= 'A' && *p <= 'Z') {
      *p = static_cast<unsigned char>(*p + 32);
    } else if (*p == 0xC3 && p[1] == 0x93) {  // Ó
      p[1] = 0xB3, ++p;
    } else if (*p == 0xC4 && (p[1] == 0x84 || p[1] == 0x86 || p[1] == 0x98)) {  // Ą Ć Ę
      p[1] = static_cast<unsigned char>(p[1] + 1), ++p;
    } else if (*p == 0xC5 && (p[1] == 0x81 || p[1] == 0x83 || p[1] == 0x9A || p[1] == 0xB9 || p[1] == 0xBB)) {
      p[1] = static_cast<unsigned char>(p[1] + 1), ++p;  // Ł Ń Ś Ź Ż
    }
  }
}

}  // namespace

RawList::~RawList() {
  release();
}

void RawList::release() {
  for (std::size_t i = 0; i < count_; ++i) std::free(names_[i]);
  std::free(names_);
  names_ = nullptr;
  count_ = capacity_ = 0;
}

void RawList::read(const std::string& folder, const std::string& mask) {
  release();
  const char* pattern = mask == "*.*" ? "*" : mask.c_str();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) fail("opendir", folder);
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    if (e->d_type != DT_REG) {
      struct stat st {};
      if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) continue;
      if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    }
    if (::fnmatch(pattern, e->d_name, FNM_CASEFOLD) != 0) continue;
    if (count_ == capacity_) {
      capacity_ = capacity_ == 0 ? 256 : capacity_ * 2;
      names_ = static_cast<char**>(std::realloc(names_, capacity_ * sizeof(char*)));
    }
    names_[count_++] = ::strdup(e->d_name);
  }
  ::closedir(dir);
  std::qsort(names_, count_, sizeof(char*), compareCaseless);
}

void rawNumbering(const std::string& folder, const std::string& mask, RawList& list) {
  const DirFd dfd(folder);
  char to[512];
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::snprintf(to, sizeof to, "%s.q", list.at(i));
    renameOrFail(dfd.get(), list.at(i), to, folder);
  }
  list.read(folder, mask);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const char* name = list.at(i);
    const std::size_t stem = std::strlen(name) - 2;  // without ".q"
    const char* ext = "";
    for (std::size_t k = stem; k-- > 0;) {
      if (name[k] == '.') {
        ext = name + k;
        break;
      }
    }
    std::snprintf(to, sizeof to, "Plik%zu%.*s", i + 1, static_cast<int>(name + stem - ext), ext);
    if (*ext == '\0') std::snprintf(to, sizeof to, "Plik%zu", i + 1);
    renameOrFail(dfd.get(), name, to, folder);
  }
  list.read(folder, mask);
}

void rawConversion(const std::string& folder, const std::string& mask, RawList& list, RawConversion how) {
  const DirFd dfd(folder);
  char to[512];
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::snprintf(to, sizeof to, "%s", list.at(i));
    if (how == RawConversion::Lower) {
      lowerInPlace(to);
    } else {
      for (char* p = to; *p != 0; ++p) {
        if (*p == ' ') *p = '_';
      }
    }
    // Every listed file gets its call, an unchanged name too: a file that has gone since the
    // list was read must stop the pass, and renameat2 answers EEXIST for a file that is there.
    if (std::strcmp(to, list.at(i)) == 0) {
      if (::renameat2(dfd.get(), to, dfd.get(), to, RENAME_NOREPLACE) != 0 && errno != EEXIST) {
        fail("renameat2", folder + "/" + to);
      }
      continue;
    }
    renameOrFail(dfd.get(), list.at(i), to, folder);
  }
  list.read(folder, mask);
}

}  // namespace skorvatin::bench
