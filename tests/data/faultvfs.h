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
  int countdown = 0;      // calls of op left before the fault; 0: disarmed
  int code = SQLITE_OK;   // result of the failing call
  bool persistent = false;  // fail every later call too, until Disarm
  bool failing = false;
  int fired = 0;          // calls failed since Arm
};

inline State& S() {
  static State s;
  return s;
}

// The n-th call (1-based) of op fails with code; with persistent, every
// later call of op fails too.
inline void Arm(Op op, int n, int code, bool persistent = false) {
  State& s = S();
  s = State{};
  s.op = op;
  s.countdown = n;
  s.code = code;
  s.persistent = persistent;
}
inline int Disarm() {
  const int fired = S().fired;
  S().countdown = 0;
  S().failing = false;
  return fired;
}

namespace detail {

inline bool Fail(Op op) {
  State& s = S();
  if (s.op != op) return false;
  if (s.failing) {
    ++s.fired;
    return true;
  }
  if (s.countdown <= 0 || --s.countdown > 0) return false;
  s.failing = s.persistent;
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

inline int Close(sqlite3_file* f) {
  const int rc = R(f)->pMethods ? R(f)->pMethods->xClose(R(f)) : SQLITE_OK;
  return rc;
}
inline int Read(sqlite3_file* f, void* buf, int n, sqlite3_int64 off) {
  if (Fail(Op::Read)) return S().code;
  return R(f)->pMethods->xRead(R(f), buf, n, off);
}
inline int Write(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
  if (Fail(Op::Write)) return S().code;
  return R(f)->pMethods->xWrite(R(f), buf, n, off);
}
inline int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  if (Fail(Op::Write)) return S().code;
  return R(f)->pMethods->xTruncate(R(f), size);
}
inline int Sync(sqlite3_file* f, int flags) {
  if (Fail(Op::Sync)) return S().code;
  return R(f)->pMethods->xSync(R(f), flags);
}
inline int FileSize(sqlite3_file* f, sqlite3_int64* size) { return R(f)->pMethods->xFileSize(R(f), size); }
inline int Lock(sqlite3_file* f, int level) {
  if (Fail(Op::Lock)) return S().code;
  return R(f)->pMethods->xLock(R(f), level);
}
inline int Unlock(sqlite3_file* f, int level) { return R(f)->pMethods->xUnlock(R(f), level); }
inline int CheckReservedLock(sqlite3_file* f, int* out) { return R(f)->pMethods->xCheckReservedLock(R(f), out); }
inline int FileControl(sqlite3_file* f, int op, void* arg) { return R(f)->pMethods->xFileControl(R(f), op, arg); }
inline int SectorSize(sqlite3_file* f) { return R(f)->pMethods->xSectorSize(R(f)); }
inline int DeviceCharacteristics(sqlite3_file* f) { return R(f)->pMethods->xDeviceCharacteristics(R(f)); }
inline int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** p) {
  return R(f)->pMethods->xShmMap(R(f), region, size, extend, p);
}
inline int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  // Only taking a lock can fail; letting go of one never does.
  if ((flags & SQLITE_SHM_LOCK) && Fail(Op::Lock)) return S().code;
  return R(f)->pMethods->xShmLock(R(f), offset, n, flags);
}
inline void ShmBarrier(sqlite3_file* f) { R(f)->pMethods->xShmBarrier(R(f)); }
inline int ShmUnmap(sqlite3_file* f, int del) { return R(f)->pMethods->xShmUnmap(R(f), del); }
inline int Fetch(sqlite3_file* f, sqlite3_int64 off, int n, void** p) {
  return R(f)->pMethods->xFetch(R(f), off, n, p);
}
inline int Unfetch(sqlite3_file* f, sqlite3_int64 off, void* p) { return R(f)->pMethods->xUnfetch(R(f), off, p); }

inline const sqlite3_io_methods* Methods() {
  static const sqlite3_io_methods m = {3,          Close,       Read,       Write,     Truncate,
                                       Sync,       FileSize,    Lock,       Unlock,    CheckReservedLock,
                                       FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock,
                                       ShmBarrier, ShmUnmap,    Fetch,      Unfetch};
  return &m;
}

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

inline int Delete(sqlite3_vfs*, const char* name, int sync) { return Real()->xDelete(Real(), name, sync); }
inline int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return Real()->xAccess(Real(), name, flags, out);
}
inline int FullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return Real()->xFullPathname(Real(), name, n, out);
}
inline void* DlOpen(sqlite3_vfs*, const char* name) { return Real()->xDlOpen(Real(), name); }
inline void DlError(sqlite3_vfs*, int n, char* msg) { Real()->xDlError(Real(), n, msg); }
inline void (*DlSym(sqlite3_vfs*, void* h, const char* sym))(void) { return Real()->xDlSym(Real(), h, sym); }
inline void DlClose(sqlite3_vfs*, void* h) { Real()->xDlClose(Real(), h); }
inline int Randomness(sqlite3_vfs*, int n, char* out) { return Real()->xRandomness(Real(), n, out); }
inline int Sleep(sqlite3_vfs*, int us) { return Real()->xSleep(Real(), us); }
inline int CurrentTime(sqlite3_vfs*, double* t) { return Real()->xCurrentTime(Real(), t); }
inline int GetLastError(sqlite3_vfs*, int n, char* msg) { return Real()->xGetLastError(Real(), n, msg); }
inline int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* t) { return Real()->xCurrentTimeInt64(Real(), t); }

}  // namespace detail

inline void Install() {
  static sqlite3_vfs vfs;
  if (detail::Real()) return;
  sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
  detail::Real() = real;
  vfs = sqlite3_vfs{};
  vfs.iVersion = 2;
  vfs.szOsFile = int(sizeof(detail::File)) + real->szOsFile;
  vfs.mxPathname = real->mxPathname;
  vfs.zName = "faulty";
  vfs.xOpen = detail::Open;
  vfs.xDelete = detail::Delete;
  vfs.xAccess = detail::Access;
  vfs.xFullPathname = detail::FullPathname;
  vfs.xDlOpen = detail::DlOpen;
  vfs.xDlError = detail::DlError;
  vfs.xDlSym = detail::DlSym;
  vfs.xDlClose = detail::DlClose;
  vfs.xRandomness = detail::Randomness;
  vfs.xSleep = detail::Sleep;
  vfs.xCurrentTime = detail::CurrentTime;
  vfs.xGetLastError = detail::GetLastError;
  vfs.xCurrentTimeInt64 = detail::CurrentTimeInt64;
  sqlite3_vfs_register(&vfs, 1);
}

}  // namespace faultvfs
