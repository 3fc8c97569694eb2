// The host's own API, included the one way this program includes it: on
// Windows <windows.h> without its rarely used parts and without its min and
// max macros; on POSIX hosts the file status calls. And a file's identity as
// the host tells it.
#ifndef D88UNPACK_HOST_NATIVE_API_H
#define D88UNPACK_HOST_NATIVE_API_H

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "file_identity.h"

#ifdef _WIN32
#include <cerrno>

// The errno closest to a Windows error, for a message.
inline int ErrnoOfWindowsError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return EIO;
  }
}

// The volume serial number and file index of the open file `handle`, and its
// attributes; false when the host cannot tell them.
inline bool IdentityOfHandle(HANDLE handle, FileIdentity& identity, DWORD& attributes) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  identity.device = info.dwVolumeSerialNumber;
  identity.file = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  attributes = info.dwFileAttributes;
  return true;
}

// The identity of the regular file that descriptor `fd` (a console stream)
// goes to; false when it goes to anything else, or is closed.
inline bool IdentityOfStreamFile(int fd, FileIdentity& identity) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD attributes = 0;
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
         IdentityOfHandle(handle, identity, attributes);
}
#else
// The device and inode of the file `info` describes.
inline FileIdentity IdentityOfStatus(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

// The identity of the regular file that descriptor `fd` (a console stream)
// goes to; false when it goes to anything else, or is closed.
inline bool IdentityOfStreamFile(int fd, FileIdentity& identity) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  identity = IdentityOfStatus(info);
  return true;
}
#endif

#endif
