// The bench's slow place: a FUSE driver that mirrors a backing folder and waits a fixed delay
// before answering each request, as a network share or a stick behind a slow reader does, and
// counts the requests of each kind in a file the bench maps.
//
//   skorvatin_bench_slowfs BACKING MOUNTPOINT COUNTS_FILE DELAY_MICROSECONDS
//
// It runs in the foreground until SIGTERM, SIGINT or SIGHUP, then unmounts, and answers requests
// side by side on up to 64 threads, as a share's server does: the delay is each request's own, so
// the kernel's locks decide what waits for what, not a queue in the driver. As root libfuse mounts
// with mount(2) itself, so fusermount3 is needed only by other users.
//
// The low-level API, so that a look-up and a getattr arrive as what they are (the high-level one
// turns both into getattr on a path). Each node holds an O_PATH descriptor of its backing file,
// so a rename needs no path bookkeeping, and the bench may fill the backing folder behind the
// driver's back: nothing is cached here.
#define FUSE_USE_VERSION 312
#include <fuse_lowlevel.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bench/slow_fs/op_counts.h"

namespace {

using skorvatin::bench::Op;
using skorvatin::bench::OpCounts;

struct Node {
  int fd = -1;  // O_PATH
  dev_t dev = 0;
  ino_t ino = 0;
  std::uint64_t lookups = 0;
};

struct Driver {
  std::mutex nodesLock;  // over `nodes` and every node's look-up count
  Node root;
  std::map<std::pair<dev_t, ino_t>, Node*> nodes;
  OpCounts* counts = nullptr;
  useconds_t delay = 1000;
};

Driver g;

// Every request the kernel waits for is one round trip: counted, then delayed. Forgets have no
// answer and cost nothing.
void trip(Op op) {
  std::atomic_ref<std::uint64_t>(g.counts->n[static_cast<std::size_t>(op)]).fetch_add(1);
  if (g.delay > 0) ::usleep(g.delay);
}

Node& node(fuse_ino_t ino) {
  return ino == FUSE_ROOT_ID ? g.root : *reinterpret_cast<Node*>(ino);
}

fuse_ino_t idOf(Node& n) {
  return &n == &g.root ? FUSE_ROOT_ID : reinterpret_cast<fuse_ino_t>(&n);
}

std::string procPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

// Zero timeouts everywhere: the kernel keeps no name, attribute or negative entry, so every path
// it resolves comes here as a look-up, as on a share mounted without caching. With the kernel's
// cache on, a batch would mostly be answered from memory and the delay would measure nothing.
int entryFor(Node& parent, const char* name, fuse_entry_param& e) {
  std::memset(&e, 0, sizeof e);
  const int fd = ::openat(parent.fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  if (::fstatat(fd, "", &e.attr, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
    const int err = errno;
    ::close(fd);
    return err;
  }
  const auto key = std::make_pair(e.attr.st_dev, e.attr.st_ino);
  const std::lock_guard hold(g.nodesLock);
  auto it = g.nodes.find(key);
  Node* n = nullptr;
  struct stat known {};
  // A node whose file was deleted behind the driver's back (the bench refills the backing folder
  // directly) may share its number with a new file: the new file gets a node of its own.
  if (it != g.nodes.end() && ::fstatat(it->second->fd, "", &known, AT_EMPTY_PATH) == 0 &&
      known.st_nlink > 0) {
    n = it->second;
    ::close(fd);
  } else {
    if (it != g.nodes.end()) g.nodes.erase(it);
    n = new Node{fd, e.attr.st_dev, e.attr.st_ino, 0};
    g.nodes.emplace(key, n);
  }
  ++n->lookups;
  e.ino = idOf(*n);
  e.attr_timeout = 0;
  e.entry_timeout = 0;
  return 0;
}

void replyEntry(fuse_req_t req, Node& parent, const char* name) {
  fuse_entry_param e;
  const int err = entryFor(parent, name, e);
  if (err != 0) {
    fuse_reply_err(req, err);
  } else {
    fuse_reply_entry(req, &e);
  }
}

void forgetOne(fuse_ino_t ino, std::uint64_t count) {
  if (ino == FUSE_ROOT_ID) return;
  const std::lock_guard hold(g.nodesLock);
  Node* n = &node(ino);
  n->lookups -= std::min(n->lookups, count);
  if (n->lookups == 0) {
    const auto it = g.nodes.find(std::make_pair(n->dev, n->ino));
    if (it != g.nodes.end() && it->second == n) g.nodes.erase(it);
    ::close(n->fd);
    delete n;
  }
}

// Every listing comes with its entries' nodes (see readEntries), not only the first after a change
// as the kernel's adaptive mode would have it.
void opInit(void*, fuse_conn_info* conn) {
  if (conn->capable & FUSE_CAP_READDIRPLUS) conn->want |= FUSE_CAP_READDIRPLUS;
  conn->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS_AUTO);
}

void opLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
  trip(Op::Lookup);
  replyEntry(req, node(parent), name);
}

void opForget(fuse_req_t req, fuse_ino_t ino, std::uint64_t count) {
  forgetOne(ino, count);
  fuse_reply_none(req);
}

void opForgetMulti(fuse_req_t req, std::size_t count, fuse_forget_data* forgets) {
  for (std::size_t i = 0; i < count; ++i) forgetOne(forgets[i].ino, forgets[i].nlookup);
  fuse_reply_none(req);
}

void replyAttr(fuse_req_t req, fuse_ino_t ino) {
  struct stat st {};
  if (::fstatat(node(ino).fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
    fuse_reply_err(req, errno);
  } else {
    fuse_reply_attr(req, &st, 0);
  }
}

void opGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
  trip(Op::Getattr);
  replyAttr(req, ino);
}

void opSetattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int valid, fuse_file_info* fi) {
  trip(Op::Setattr);
  const std::string path = procPath(node(ino).fd);
  int rc = 0;
  if (valid & FUSE_SET_ATTR_MODE) rc = ::chmod(path.c_str(), attr->st_mode);
  if (rc == 0 && (valid & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID))) {
    rc = ::fchownat(node(ino).fd, "", (valid & FUSE_SET_ATTR_UID) ? attr->st_uid : static_cast<uid_t>(-1),
                    (valid & FUSE_SET_ATTR_GID) ? attr->st_gid : static_cast<gid_t>(-1),
                    AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
  }
  if (rc == 0 && (valid & FUSE_SET_ATTR_SIZE)) {
    rc = fi != nullptr ? ::ftruncate(static_cast<int>(fi->fh), attr->st_size)
                       : ::truncate(path.c_str(), attr->st_size);
  }
  if (rc == 0 && (valid & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME))) {
    timespec ts[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (valid & FUSE_SET_ATTR_ATIME_NOW) {
      ts[0].tv_nsec = UTIME_NOW;
    } else if (valid & FUSE_SET_ATTR_ATIME) {
      ts[0] = attr->st_atim;
    }
    if (valid & FUSE_SET_ATTR_MTIME_NOW) {
      ts[1].tv_nsec = UTIME_NOW;
    } else if (valid & FUSE_SET_ATTR_MTIME) {
      ts[1] = attr->st_mtim;
    }
    rc = ::utimensat(AT_FDCWD, path.c_str(), ts, 0);
  }
  if (rc != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  replyAttr(req, ino);
}

void opReadlink(fuse_req_t req, fuse_ino_t ino) {
  trip(Op::Other);
  char buf[PATH_MAX + 1];
  const ssize_t len = ::readlinkat(node(ino).fd, "", buf, sizeof buf - 1);
  if (len < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  buf[len] = '\0';
  fuse_reply_readlink(req, buf);
}

void opMknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t rdev) {
  trip(Op::Create);
  if (::mknodat(node(parent).fd, name, mode, rdev) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  replyEntry(req, node(parent), name);
}

void opMkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode) {
  trip(Op::Create);
  if (::mkdirat(node(parent).fd, name, mode) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  replyEntry(req, node(parent), name);
}

void opSymlink(fuse_req_t req, const char* link, fuse_ino_t parent, const char* name) {
  trip(Op::Create);
  if (::symlinkat(link, node(parent).fd, name) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  replyEntry(req, node(parent), name);
}

void opLink(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newparent, const char* newname) {
  trip(Op::Create);
  if (::linkat(AT_FDCWD, procPath(node(ino).fd).c_str(), node(newparent).fd, newname, AT_SYMLINK_FOLLOW) !=
      0) {
    fuse_reply_err(req, errno);
    return;
  }
  replyEntry(req, node(newparent), newname);
}

void opUnlink(fuse_req_t req, fuse_ino_t parent, const char* name) {
  trip(Op::Unlink);
  fuse_reply_err(req, ::unlinkat(node(parent).fd, name, 0) == 0 ? 0 : errno);
}

void opRmdir(fuse_req_t req, fuse_ino_t parent, const char* name) {
  trip(Op::Unlink);
  fuse_reply_err(req, ::unlinkat(node(parent).fd, name, AT_REMOVEDIR) == 0 ? 0 : errno);
}

// The flags go to renameat2 as they came, and so does its answer: RENAME_NOREPLACE must stay a
// no-replace rename all the way down, or the driver would replace files the program keeps.
void opRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent, const char* newname,
              unsigned int flags) {
  trip(Op::Rename);
  const int rc = ::renameat2(node(parent).fd, name, node(newparent).fd, newname, flags);
  fuse_reply_err(req, rc == 0 ? 0 : errno);
}

int openFlags(int flags) {
  return (flags & ~(O_NOFOLLOW | O_CREAT | O_EXCL)) | O_CLOEXEC;
}

void opOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  trip(Op::Open);
  const int fd = ::open(procPath(node(ino).fd).c_str(), openFlags(fi->flags));
  if (fd < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  fi->fh = static_cast<std::uint64_t>(fd);
  fuse_reply_open(req, fi);
}

void opCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi) {
  trip(Op::Create);
  const int fd = ::openat(node(parent).fd, name, (fi->flags | O_CREAT | O_CLOEXEC) & ~O_NOFOLLOW, mode);
  if (fd < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  fuse_entry_param e;
  const int err = entryFor(node(parent), name, e);
  if (err != 0) {
    ::close(fd);
    fuse_reply_err(req, err);
    return;
  }
  fi->fh = static_cast<std::uint64_t>(fd);
  fuse_reply_create(req, &e, fi);
}

void opRead(fuse_req_t req, fuse_ino_t, std::size_t size, off_t off, fuse_file_info* fi) {
  trip(Op::Read);
  std::vector<char> buf(size);
  const ssize_t got = ::pread(static_cast<int>(fi->fh), buf.data(), size, off);
  if (got < 0) {
    fuse_reply_err(req, errno);
  } else {
    fuse_reply_buf(req, buf.data(), static_cast<std::size_t>(got));
  }
}

void opWrite(fuse_req_t req, fuse_ino_t, const char* buf, std::size_t size, off_t off, fuse_file_info* fi) {
  trip(Op::Write);
  const ssize_t put = ::pwrite(static_cast<int>(fi->fh), buf, size, off);
  if (put < 0) {
    fuse_reply_err(req, errno);
  } else {
    fuse_reply_write(req, static_cast<std::size_t>(put));
  }
}

void opFlush(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  trip(Op::Close);
  const int fd = ::dup(static_cast<int>(fi->fh));
  fuse_reply_err(req, fd >= 0 && ::close(fd) == 0 ? 0 : errno);
}

void opRelease(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  trip(Op::Close);
  ::close(static_cast<int>(fi->fh));
  fuse_reply_err(req, 0);
}

void opFsync(fuse_req_t req, fuse_ino_t, int datasync, fuse_file_info* fi) {
  trip(Op::Fsync);
  const int fd = static_cast<int>(fi->fh);
  fuse_reply_err(req, (datasync ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : errno);
}

struct OpenDir {
  DIR* dir = nullptr;
};

void opOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  trip(Op::Open);
  const int fd = ::openat(node(ino).fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    fuse_reply_err(req, err);
    return;
  }
  fi->fh = reinterpret_cast<std::uint64_t>(new OpenDir{dir});
  fuse_reply_open(req, fi);
}

// The offset the kernel hands back is telldir's, so a batch that did not fit is taken up where it
// stopped. With `plus` every entry but "." and ".." comes with its node and attributes, as a share's
// listing does (NFS's READDIRPLUS, SMB's directory query): the kernel then knows the names, and a
// later look-up of one revalidates it, which the kernel lets run beside others in the folder, where
// a name it has never seen is looked up one at a time per folder. The answer is still one round
// trip, and with zero timeouts every later use of a name or an attribute is one more.
void readEntries(fuse_req_t req, fuse_ino_t ino, std::size_t size, off_t off, fuse_file_info* fi, bool plus) {
  trip(Op::Readdir);
  DIR* dir = reinterpret_cast<OpenDir*>(fi->fh)->dir;
  ::seekdir(dir, off);
  std::vector<char> buf(size);
  std::size_t used = 0;
  for (;;) {
    errno = 0;
    const dirent* d = ::readdir(dir);
    if (d == nullptr) {
      if (errno != 0 && used == 0) {
        fuse_reply_err(req, errno);
        return;
      }
      break;
    }
    fuse_entry_param e{};
    e.attr.st_ino = d->d_ino;
    e.attr.st_mode = static_cast<mode_t>(d->d_type) << 12;
    const bool dots = std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0;
    if (plus && !dots && entryFor(node(ino), d->d_name, e) != 0) continue;  // gone meanwhile
    const std::size_t need =
        plus ? fuse_add_direntry_plus(req, buf.data() + used, size - used, d->d_name, &e, d->d_off)
             : fuse_add_direntry(req, buf.data() + used, size - used, d->d_name, &e.attr, d->d_off);
    if (need > size - used) {
      // The kernel asks again from this entry's offset; the node it was not handed is not its.
      if (plus && e.ino != 0) forgetOne(e.ino, 1);
      break;
    }
    used += need;
  }
  fuse_reply_buf(req, buf.data(), used);
}

void opReaddir(fuse_req_t req, fuse_ino_t ino, std::size_t size, off_t off, fuse_file_info* fi) {
  readEntries(req, ino, size, off, fi, false);
}

void opReaddirplus(fuse_req_t req, fuse_ino_t ino, std::size_t size, off_t off, fuse_file_info* fi) {
  readEntries(req, ino, size, off, fi, true);
}

void opReleasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  trip(Op::Close);
  auto* open = reinterpret_cast<OpenDir*>(fi->fh);
  ::closedir(open->dir);
  delete open;
  fuse_reply_err(req, 0);
}

void opFsyncdir(fuse_req_t req, fuse_ino_t, int datasync, fuse_file_info* fi) {
  trip(Op::Fsync);
  const int fd = ::dirfd(reinterpret_cast<OpenDir*>(fi->fh)->dir);
  fuse_reply_err(req, (datasync ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : errno);
}

void opStatfs(fuse_req_t req, fuse_ino_t ino) {
  trip(Op::Other);
  struct statvfs sv {};
  if (::fstatvfs(node(ino).fd, &sv) != 0) {
    fuse_reply_err(req, errno);
  } else {
    fuse_reply_statfs(req, &sv);
  }
}

OpCounts* mapCounts(const char* path) {
  const int fd = ::open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return nullptr;
  void* at = ::mmap(nullptr, sizeof(OpCounts), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  return at == MAP_FAILED ? nullptr : static_cast<OpCounts*>(at);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT COUNTS_FILE DELAY_MICROSECONDS\n", argv[0]);
    return 2;
  }
  // A bench that dies, however it dies, takes its mount with it: the signal unmounts.
  const pid_t parent = ::getppid();
  if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) return 1;
  // Every node the kernel holds keeps a descriptor open here, thousands of them for one folder.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  g.root.fd = ::open(argv[1], O_PATH | O_DIRECTORY | O_CLOEXEC);
  g.counts = mapCounts(argv[3]);
  g.delay = static_cast<useconds_t>(std::strtoul(argv[4], nullptr, 10));
  if (g.root.fd < 0 || g.counts == nullptr) {
    std::fprintf(stderr, "slowfs: cannot open %s or map %s: %s\n", argv[1], argv[3], std::strerror(errno));
    return 1;
  }

  fuse_lowlevel_ops ops{};
  ops.init = opInit;
  ops.lookup = opLookup;
  ops.forget = opForget;
  ops.forget_multi = opForgetMulti;
  ops.getattr = opGetattr;
  ops.setattr = opSetattr;
  ops.readlink = opReadlink;
  ops.mknod = opMknod;
  ops.mkdir = opMkdir;
  ops.symlink = opSymlink;
  ops.link = opLink;
  ops.unlink = opUnlink;
  ops.rmdir = opRmdir;
  ops.rename = opRename;
  ops.open = opOpen;
  ops.create = opCreate;
  ops.read = opRead;
  ops.write = opWrite;
  ops.flush = opFlush;
  ops.release = opRelease;
  ops.fsync = opFsync;
  ops.opendir = opOpendir;
  ops.readdir = opReaddir;
  ops.readdirplus = opReaddirplus;
  ops.releasedir = opReleasedir;
  ops.fsyncdir = opFsyncdir;
  ops.statfs = opStatfs;

  char* args[] = {argv[0], const_cast<char*>("-o"), const_cast<char*>("fsname=skorvatin-slow,subtype=slow")};
  fuse_args fargs = FUSE_ARGS_INIT(3, args);
  fuse_session* se = fuse_session_new(&fargs, &ops, sizeof ops, nullptr);
  if (se == nullptr) return 1;
  int rc = 1;
  if (fuse_set_signal_handlers(se) == 0) {
    if (fuse_session_mount(se, argv[2]) == 0) {
      fuse_loop_config* loop = fuse_loop_cfg_create();
      fuse_loop_cfg_set_max_threads(loop, 64);
      rc = fuse_session_loop_mt(se, loop) < 0 ? 1 : 0;
      fuse_loop_cfg_destroy(loop);
      fuse_session_unmount(se);
    }
    fuse_remove_signal_handlers(se);
  }
  fuse_session_destroy(se);
  return rc;
}
