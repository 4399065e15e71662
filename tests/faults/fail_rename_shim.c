/* Preloaded into a test driver to make chosen rename calls fail through the real system-call
 * entry points. Every call of renameat2, renameat, rename and syscall(SYS_renameat2, ...) counts;
 * the calls numbered in SKORVATIN_FAIL_AT and SKORVATIN_FAIL_ALSO_AT (1-based) fail with
 * SKORVATIN_FAIL_ERRNO (EIO by default) without touching the file system. When
 * SKORVATIN_RENAME_LOG names a file, one line per call is appended to it:
 * "<number> <result> <errno>\t<old path>\t<new path>" (paths as passed, possibly relative to a
 * folder descriptor), so the harness knows which file each call concerned.
 *
 * SKORVATIN_KILL_AT=k ends the process with SIGKILL at the k-th call, before the call: a crash,
 * an out-of-memory kill or a power cut, with nothing of the process's own running afterwards.
 * SKORVATIN_SIGNAL_AT="k signal [pid]" sends the signal to the process pid (the process itself
 * when no pid is given) at the k-th call and then lets the call through: a log-out's SIGTERM, or
 * the X server going away, arriving in the middle of a batch.
 *
 * When SKORVATIN_RENAME_FOLDER names a folder, only calls that rename something in it count,
 * are logged, fail, kill or signal; the others (the batch journal's own renames, say) go straight
 * through, so that call k is the k-th rename of the user's files whatever else the process does.
 *
 * Only the test harness sets these variables; the program itself reads none. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

typedef int (*renameat2_fn)(int, const char*, int, const char*, unsigned int);
typedef int (*renameat_fn)(int, const char*, int, const char*);
typedef int (*rename_fn)(const char*, const char*);
typedef long (*syscall_fn)(long, ...);

static long call_count;

static long env_number(const char* name, long fallback) {
  const char* text = getenv(name);
  if (text == NULL || *text == '\0') return fallback;
  return strtol(text, NULL, 10);
}

/* Whether a call renaming `path` (relative to `dirfd`) counts: the folder it lies in must be
 * SKORVATIN_RENAME_FOLDER, when that is set. Folders are compared by device and inode, so a
 * descriptor and a path lead to the same answer. */
static int counts(int dirfd, const char* path) {
  const char* only = getenv("SKORVATIN_RENAME_FOLDER");
  if (only == NULL || *only == '\0') return 1;
  struct stat wanted;
  if (stat(only, &wanted) != 0) return 0;
  char folder[4096];
  const char* slash = strrchr(path, '/');
  if (slash == NULL) {
    strcpy(folder, ".");
  } else if (slash == path) {
    strcpy(folder, "/");
  } else {
    const size_t n = (size_t)(slash - path);
    if (n >= sizeof folder) return 0;
    memcpy(folder, path, n);
    folder[n] = '\0';
  }
  struct stat st;
  if (fstatat(dirfd, folder, &st, 0) != 0) return 0;
  return st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino;
}

/* Sends what SKORVATIN_SIGNAL_AT asks for when this is its call. */
static void signal_if_due(long number) {
  const char* text = getenv("SKORVATIN_SIGNAL_AT");
  if (text == NULL || *text == '\0') return;
  char* end;
  const long at = strtol(text, &end, 10);
  const long sig = strtol(end, &end, 10);
  const long pid = strtol(end, &end, 10);
  if (at == number) kill(pid > 0 ? (pid_t)pid : getpid(), (int)sig);
}

/* Decides the fate of the next call: 0 to let it through, or the errno to fail it with. A call
 * that does not count is let through with number 0 and never logged. */
static int next_call_fails(int dirfd, const char* path, long* number) {
  if (!counts(dirfd, path)) {
    *number = 0;
    return 0;
  }
  *number = __atomic_add_fetch(&call_count, 1, __ATOMIC_SEQ_CST);
  if (env_number("SKORVATIN_KILL_AT", 0) == *number) kill(getpid(), SIGKILL);
  signal_if_due(*number);
  const long first = env_number("SKORVATIN_FAIL_AT", 0);
  const long second = env_number("SKORVATIN_FAIL_ALSO_AT", 0);
  if (*number != first && *number != second) return 0;
  return (int)env_number("SKORVATIN_FAIL_ERRNO", EIO);
}

static void log_call(long number, int result, int error, const char* oldpath, const char* newpath) {
  if (number == 0) return;
  const char* log_path = getenv("SKORVATIN_RENAME_LOG");
  if (log_path == NULL || *log_path == '\0') return;
  /* Raw write(2) keeps the log free of stdio buffering across a crash of the driver. */
  const int fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  char head[96];
  const int n = snprintf(head, sizeof head, "%ld %d %d\t", number, result, error);
  if (n > 0) (void)!write(fd, head, (size_t)n);
  (void)!write(fd, oldpath, strlen(oldpath));
  (void)!write(fd, "\t", 1);
  (void)!write(fd, newpath, strlen(newpath));
  (void)!write(fd, "\n", 1);
  close(fd);
}

static void* real(const char* name) {
  void* fn = dlsym(RTLD_NEXT, name);
  if (fn == NULL) {
    static const char msg[] = "fail_rename_shim: real function not found\n";
    (void)!write(2, msg, sizeof msg - 1);
    abort();
  }
  return fn;
}

/* ISO C has no cast from dlsym's object pointer to a function pointer; copying the bytes is the
 * form POSIX itself suggests. */
static renameat2_fn real_renameat2(void) {
  void* p = real("renameat2");
  renameat2_fn f;
  memcpy(&f, &p, sizeof f);
  return f;
}
static renameat_fn real_renameat(void) {
  void* p = real("renameat");
  renameat_fn f;
  memcpy(&f, &p, sizeof f);
  return f;
}
static rename_fn real_rename(void) {
  void* p = real("rename");
  rename_fn f;
  memcpy(&f, &p, sizeof f);
  return f;
}
static syscall_fn real_syscall(void) {
  void* p = real("syscall");
  syscall_fn f;
  memcpy(&f, &p, sizeof f);
  return f;
}

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned int flags) {
  long number;
  const int fail = next_call_fails(olddirfd, oldpath, &number);
  int result;
  int error = 0;
  if (fail != 0) {
    result = -1;
    error = fail;
  } else {
    result = real_renameat2()(olddirfd, oldpath, newdirfd, newpath, flags);
    error = result == 0 ? 0 : errno;
  }
  log_call(number, result, error, oldpath, newpath);
  errno = error;
  return result;
}

int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
  long number;
  const int fail = next_call_fails(olddirfd, oldpath, &number);
  int result;
  int error = 0;
  if (fail != 0) {
    result = -1;
    error = fail;
  } else {
    result = real_renameat()(olddirfd, oldpath, newdirfd, newpath);
    error = result == 0 ? 0 : errno;
  }
  log_call(number, result, error, oldpath, newpath);
  errno = error;
  return result;
}

int rename(const char* oldpath, const char* newpath) {
  long number;
  const int fail = next_call_fails(AT_FDCWD, oldpath, &number);
  int result;
  int error = 0;
  if (fail != 0) {
    result = -1;
    error = fail;
  } else {
    result = real_rename()(oldpath, newpath);
    error = result == 0 ? 0 : errno;
  }
  log_call(number, result, error, oldpath, newpath);
  errno = error;
  return result;
}

/* Code that reaches renameat2 through syscall(2) instead of the libc wrapper is caught here; every
 * other system call goes straight through. Six long arguments is what the x86-64 and AArch64 ABIs
 * pass in registers, so forwarding them all is exact. */
long syscall(long number, ...) {
  va_list ap;
  va_start(ap, number);
  long a[6];
  for (int i = 0; i < 6; ++i) a[i] = va_arg(ap, long);
  va_end(ap);
  if (number != SYS_renameat2) return real_syscall()(number, a[0], a[1], a[2], a[3], a[4], a[5]);
  long call;
  const int fail = next_call_fails((int)a[0], (const char*)a[1], &call);
  long result;
  int error = 0;
  if (fail != 0) {
    result = -1;
    error = fail;
  } else {
    result = real_syscall()(number, a[0], a[1], a[2], a[3], a[4], a[5]);
    error = result == 0 ? 0 : errno;
  }
  log_call(call, (int)result, error, (const char*)a[1], (const char*)a[3]);
  errno = error;
  return result;
}
