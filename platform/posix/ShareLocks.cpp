// Each handle marks what it holds and what it denies with shared
// open-file-description locks on four bytes far beyond any real file size;
// a conflicting lock held by another handle means a sharing violation.
#include "platform/posix/ShareLocks.h"

#include <fcntl.h>

namespace platform {
namespace {

constexpr off_t kShareLockBase = static_cast<off_t>(0x7FFFFFFF00000000LL);
enum ShareByte : off_t { kHoldsRead = 0, kHoldsWrite = 1, kDeniesRead = 2, kDeniesWrite = 3 };

// A lock of `type` on the one byte that stands for `which`.
struct flock ShareLock(short type, ShareByte which) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kShareLockBase + which;
  fl.l_len = 1;
  return fl;
}

bool LockByte(int fd, ShareByte which) {
  struct flock fl = ShareLock(F_RDLCK, which);
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// True when another handle holds a mark on the byte.
bool OthersMark(int fd, ShareByte which) {
  struct flock fl = ShareLock(F_WRLCK, which);
  return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

}  // namespace

// Marks the handle, then checks the others' marks (marking first means two
// racing openers cannot both miss each other). False: sharing violation.
bool ClaimShare(int fd, Access access, Share share) {
  bool reads = access != Access::Write, writes = access != Access::Read;
  bool deniesRead = share == Share::None, deniesWrite = share != Share::ReadWrite;
  if ((reads && !LockByte(fd, kHoldsRead)) || (writes && !LockByte(fd, kHoldsWrite)) ||
      (deniesRead && !LockByte(fd, kDeniesRead)) || (deniesWrite && !LockByte(fd, kDeniesWrite)))
    return true;  // no such locks here (read locks never conflict): no sharing checks
  return !((reads && OthersMark(fd, kDeniesRead)) || (writes && OthersMark(fd, kDeniesWrite)) ||
           (deniesRead && OthersMark(fd, kHoldsRead)) || (deniesWrite && OthersMark(fd, kHoldsWrite)));
}

}  // namespace platform
