/* Preloaded into a program under test: counts its writes to regular files
 * (write and copy_file_range calls) and, with KILL_AT_WRITE=N, kills the
 * process with SIGKILL just before the N-th one, as `kill -9` at that moment
 * would. With WRITE_COUNT_FILE set, the count is written to that file at exit. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static long writes;
static long killAt;

__attribute__((constructor)) static void Start(void) {
  const char* at = getenv("KILL_AT_WRITE");
  killAt = at ? atol(at) : 0;
}

__attribute__((destructor)) static void Finish(void) {
  const char* path = getenv("WRITE_COUNT_FILE");
  if (!path) return;
  const long total = writes;
  FILE* out = fopen(path, "w");
  if (!out) return;
  fprintf(out, "%ld\n", total);
  fclose(out);
}

static void BeforeWrite(int fd) {
  struct stat st;
  if (fd <= 2 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  const long n = __atomic_add_fetch(&writes, 1, __ATOMIC_SEQ_CST);
  if (killAt > 0 && n >= killAt) raise(SIGKILL);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static ssize_t (*real)(int, const void*, size_t);
  if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  BeforeWrite(fd);
  return real(fd, buffer, count);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t count,
                        unsigned int flags) {
  static ssize_t (*real)(int, off64_t*, int, off64_t*, size_t, unsigned int);
  if (!real)
    real = (ssize_t(*)(int, off64_t*, int, off64_t*, size_t, unsigned int))dlsym(
        RTLD_NEXT, "copy_file_range");
  BeforeWrite(out);
  return real(in, inOffset, out, outOffset, count, flags);
}
