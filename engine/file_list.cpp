#include "engine/file_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "engine/file_mask.h"
#include "engine/name_order.h"
#include "engine/run_error.h"

namespace skorvatin {

namespace {

// Owns an open directory stream for exactly one read, also when the read throws.
class DirectoryStream {
 public:
  explicit DirectoryStream(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw RunError::fromErrno(errno == ENOENT ? ENOTDIR : errno, path);
    dir_ = ::fdopendir(fd);
    if (dir_ == nullptr) {
      const int e = errno;
      ::close(fd);
      throw RunError::fromErrno(e, path);
    }
  }
  ~DirectoryStream() { ::closedir(dir_); }
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;

  DIR* get() const { return dir_; }
  int fd() const { return ::dirfd(dir_); }

 private:
  DIR* dir_ = nullptr;
};

// A regular file, or a link that leads to one. The directory entry's type settles it without a
// stat for everything but links and file systems that do not fill d_type in.
bool isListableFile(int dirFd, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  struct stat st {};
  return ::fstatat(dirFd, entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void FileList::read(const std::string& path, const std::string& pattern) {
  std::vector<std::string> names;
  if (!path.empty()) {
    DirectoryStream dir(path);
    const FileMask mask(pattern);
    names.reserve(lastReadCount_);
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) {
        if (errno != 0) throw RunError::fromErrno(errno, path);
        break;
      }
      if (entry->d_name[0] == '.') continue;  // hidden files (and "." / "..") are never listed
      const std::string_view name(entry->d_name);
      if (!mask.matches(name)) continue;
      if (!isListableFile(dir.fd(), *entry)) continue;
      names.emplace_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return nameLess(a, b); });
  }
  lastReadCount_ = names.size();
  names_ = std::move(names);
  path_ = path;
  pattern_ = pattern;
  if (onChanged_) onChanged_();
}

void FileList::SetPath(std::string path) {
  read(path, pattern_);
}

void FileList::SetPattern(std::string pattern) {
  read(path_, pattern);
}

void FileList::Refresh() {
  read(path_, pattern_);
}

void FileList::SetEmptyingPattern() {
  if (!path_.empty()) DirectoryStream check(path_);
  names_.clear();
  pattern_ = kEmptyingMask;
  if (onChanged_) onChanged_();
}

std::int16_t FileList::ListCount() const {
  if (names_.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw RunError(err::Overflow, path_, "ponad 32767 plików na liście");
  }
  return static_cast<std::int16_t>(names_.size());
}

const std::string& FileList::List(std::int16_t i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= names_.size()) throw RunError(err::SubscriptOutOfRange, path_);
  return names_[static_cast<std::size_t>(i)];
}

std::string FolderPrefix(std::string_view path) {
  std::string prefix(path);
  if (prefix.empty() || prefix.back() != '/') prefix.push_back('/');
  return prefix;
}

void File_Refresh(FileList& list, const EventPump& pump) {
  std::string savedMask = list.Pattern();
  // Setting the mask already re-reads the folder, and nothing can run between that read and an
  // explicit Refresh, so each "set the mask, then refresh" is one read here.
  list.SetEmptyingPattern();
  if (pump) pump();
  list.SetPattern(savedMask);
  savedMask.clear();
}

}  // namespace skorvatin
