#pragma once
// Test VFS: wraps SQLite's default one and fails the n-th read, write, sync,
// lock or open after Arm(), as SQLite's own fault tests do. Install() makes
// it the default, so every connection the program opens goes through it.
#include <sqlite3.h>

#include <cstring>

namespace faultvfs {

enum class Op { Read, Write, Sync, Lock, Open };

struct State {
  Op op = Op::Read;
  int countdown = 0;        // calls of op left before the fault; 0: disarmed
  int code = SQLITE_OK;     // result of the failing call
  bool persistent = false;  // fail every later call too, until Disarm
  int fired = 0;            // calls failed since Arm
};

inline State& S() {
  static State s;
  return s;
}

// The n-th call (1-based) of op fails with code; with persistent, every
// later call of op fails too.
inline void Arm(Op op, int n, int code, bool persistent = false) {
  S() = State{op, n, code, persistent};
}
inline int Disarm() {
  S().countdown = 0;
  return S().fired;
}

namespace detail {

inline bool Fail(Op op) {
  State& s = S();
  if (s.op != op || s.countdown <= 0 || --s.countdown > 0) return false;
  s.countdown = s.persistent ? 1 : 0;  // persistent: the next call is the n-th again
  ++s.fired;
  return true;
}

struct File {
  sqlite3_file base;
  sqlite3_file* real;  // follows this struct in the same allocation
};

inline sqlite3_vfs*& Real() {
  static sqlite3_vfs* real = nullptr;
  return real;
}

inline sqlite3_file* R(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

// A method of the real file, failing first as op when op is given.
#define VT_PASSA(x) [](sqlite3_file* f, auto... a) { return R(f)->pMethods->x(R(f), a...); }
#define VT_FALHA(x, op) \
  [](sqlite3_file* f, auto... a) { return Fail(op) ? S().code : R(f)->pMethods->x(R(f), a...); }

inline const sqlite3_io_methods* Methods() {
  static const sqlite3_io_methods m = {
      3, VT_PASSA(xClose), VT_FALHA(xRead, Op::Read), VT_FALHA(xWrite, Op::Write), VT_FALHA(xTruncate, Op::Write),
      VT_FALHA(xSync, Op::Sync), VT_PASSA(xFileSize), VT_FALHA(xLock, Op::Lock), VT_PASSA(xUnlock),
      VT_PASSA(xCheckReservedLock), VT_PASSA(xFileControl), VT_PASSA(xSectorSize), VT_PASSA(xDeviceCharacteristics),
      VT_PASSA(xShmMap),
      // Only taking a lock can fail; letting go of one never does.
      [](sqlite3_file* f, int offset, int n, int flags) {
        if ((flags & SQLITE_SHM_LOCK) && Fail(Op::Lock)) return S().code;
        return R(f)->pMethods->xShmLock(R(f), offset, n, flags);
      },
      VT_PASSA(xShmBarrier), VT_PASSA(xShmUnmap), VT_PASSA(xFetch), VT_PASSA(xUnfetch)};
  return &m;
}
#undef VT_PASSA
#undef VT_FALHA

inline int Open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
  auto* file = reinterpret_cast<File*>(f);
  file->real = reinterpret_cast<sqlite3_file*>(file + 1);
  std::memset(file->real, 0, size_t(Real()->szOsFile));
  f->pMethods = nullptr;
  if (Fail(Op::Open)) return S().code;
  const int rc = Real()->xOpen(Real(), name, file->real, flags, outFlags);
  if (rc == SQLITE_OK || file->real->pMethods) f->pMethods = Methods();
  return rc;
}

}  // namespace detail

// Every other call of the VFS goes to the real one, which reads nothing of
// the VFS passed to it but the fields copied here.
inline void Install() {
  static sqlite3_vfs vfs;
  if (detail::Real()) return;
  sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
  detail::Real() = real;
  vfs = *real;
  vfs.pNext = nullptr;
  vfs.szOsFile = int(sizeof(detail::File)) + real->szOsFile;
  vfs.zName = "faulty";
  vfs.xOpen = detail::Open;
  sqlite3_vfs_register(&vfs, 1);
}

}  // namespace faultvfs
