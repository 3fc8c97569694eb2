#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>

#include <cwchar>
#else
#include <unistd.h>
#endif

#include "native_api.h"

namespace {

#ifdef _WIN32
// Windows file names are UTF-16. A disk's name bytes are code page 932
// (Shift-JIS with half-width katakana) whatever the user's own code page,
// and are converted from it for the wide-character file API.
constexpr unsigned kNameCodePage = 932;

// The longest file name Windows takes, in UTF-16 units. Code page 932 never
// gives more units than it has bytes, so a name of up to this many bytes
// always fits.
constexpr std::size_t kMaxNameBytes = 255;

// The name last converted. A name is screened, compared with the image and
// written in turn, and is converted once for all three.
struct WideName {
  char bytes[kMaxNameBytes + 1];    // the name as given
  wchar_t text[kMaxNameBytes + 1];  // its UTF-16 text
  bool valid;                       // false: the bytes are not code page 932
};
WideName wideName = {{0}, {0}, true};

// The name as UTF-16, or null when it is longer than kMaxNameBytes or its
// bytes are not valid code page 932 (a lead byte without a valid trail byte;
// which single bytes count as undefined depends on the system's table).
const wchar_t* ToWideName(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length > kMaxNameBytes) return nullptr;
  if (std::strcmp(name, wideName.bytes) != 0) {
    std::memcpy(wideName.bytes, name, length + 1);
    // Without MB_ERR_INVALID_CHARS a bad sequence would silently become a
    // default character, and the file would land under a name of its own.
    const int count =
        MultiByteToWideChar(kNameCodePage, MB_ERR_INVALID_CHARS, name, static_cast<int>(length),
                            wideName.text, static_cast<int>(kMaxNameBytes));
    wideName.valid = length == 0 || count > 0;
    wideName.text[wideName.valid ? count : 0] = 0;
  }
  return wideName.valid ? wideName.text : nullptr;
}

wchar_t UpperAscii(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Windows opens CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 as devices
// whatever their case and extension ("nul.txt", "Com1.dat"), so data written
// to them goes to a port or the console, or is thrown away. CONIN$ and
// CONOUT$ name the console itself, with an extension too ("CONIN$.TXT"
// opens the console).
bool IsReservedDevice(const wchar_t* name) {
  // The device is named by what comes before the first '.', less trailing
  // spaces.
  std::size_t length = 0;
  while (name[length] != 0 && name[length] != L'.') ++length;
  while (length > 0 && name[length - 1] == L' ') --length;

  wchar_t base[8] = {};
  if (length >= sizeof base / sizeof base[0]) return false;
  for (std::size_t i = 0; i < length; ++i) base[i] = UpperAscii(name[i]);

  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
  for (const wchar_t* device : kDevices) {
    if (std::wcscmp(base, device) == 0) return true;
  }
  if (length == 4 && (std::wcsncmp(base, L"COM", 3) == 0 || std::wcsncmp(base, L"LPT", 3) == 0)) {
    return base[3] >= L'1' && base[3] <= L'9';
  }
  return std::wcscmp(base, L"CONIN$") == 0 || std::wcscmp(base, L"CONOUT$") == 0;
}
#endif

}  // namespace

NameVerdict CheckOutputName(const char* name) {
  if (name[0] == 0) return NameVerdict::kEmpty;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return NameVerdict::kDotOrDotDot;
  }
#ifdef _WIN32
  // The checks read characters, not bytes: the trail byte of a double-byte
  // character may be 0x5C, which is no backslash there ("\x83\x5C" is one
  // katakana letter).
  if (std::strlen(name) > kMaxNameBytes) return NameVerdict::kTooLong;
  const wchar_t* wide = ToWideName(name);
  if (wide == nullptr) return NameVerdict::kNotCodePage932;
  if (std::wcschr(wide, L'/') != nullptr) return NameVerdict::kSlash;
  if (std::wcschr(wide, L'\\') != nullptr) return NameVerdict::kBackslash;
  if (std::wcschr(wide, L':') != nullptr) return NameVerdict::kColon;
  if (IsReservedDevice(wide)) return NameVerdict::kReservedDevice;
  // Windows drops a trailing dot or space from a file name: "AB." would
  // silently replace "AB".
  const std::size_t length = std::wcslen(wide);
  if (wide[length - 1] == L'.' || wide[length - 1] == L' ') return NameVerdict::kTrailingDot;
#else
  if (std::strchr(name, '/') != nullptr) return NameVerdict::kSlash;
#endif
  return NameVerdict::kAccepted;
}

namespace {

// The guard that `identity` is, or kNone.
EntryProblem GuardedAs(const FileIdentity& identity, const GuardedFiles& guarded) {
  if (identity == guarded.image) return EntryProblem::kNameIsImage;
  if (guarded.hasOutput && identity == guarded.output) return EntryProblem::kNameIsOutput;
  if (guarded.hasErrorOutput && identity == guarded.errorOutput) {
    return EntryProblem::kNameIsErrorOutput;
  }
  return EntryProblem::kNone;
}

#ifdef _WIN32

// The errno closest to a Windows error, for the message.
int ErrnoOf(DWORD error) {
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

// What stands at `path`, or what a link there leads to: false with the
// error when it cannot be told.
bool IdentityAt(const wchar_t* path, bool followLink, FileIdentity& identity, DWORD& attributes,
                DWORD& error) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  const bool known = IdentityOfHandle(handle, identity, attributes);
  if (!known) error = GetLastError();
  CloseHandle(handle);
  return known;
}

HANDLE CreateNew(const wchar_t* path) {
  // Without FILE_FLAG_OPEN_REPARSE_POINT a link at the name whose target does
  // not exist yet would be followed, and its target created: with it, any
  // link there makes the name taken, and goes through the checks.
  return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The folder's prefix and the name, as one path.
const wchar_t* OutputPath(const OutputFolder& folder, const wchar_t* name) {
  static wchar_t path[32768];
  const wchar_t* prefix = folder.Prefix();
  if (prefix == nullptr) return name;
  const std::size_t prefixLength = std::wcslen(prefix);
  const std::size_t nameLength = std::wcslen(name);
  if (prefixLength + 1 + nameLength + 1 > sizeof path / sizeof path[0]) return nullptr;
  std::wmemcpy(path, prefix, prefixLength);
  path[prefixLength] = L'\\';
  std::wmemcpy(path + prefixLength + 1, name, nameLength + 1);
  return path;
}

// Decides what may be done with the taken name `path`: kNone when it may be
// removed.
WriteResult CheckTakenName(const wchar_t* path, const GuardedFiles& guarded) {
  FileIdentity identity;
  DWORD attributes = 0;
  DWORD error = 0;
  if (!IdentityAt(path, false, identity, attributes, error)) {
    return WriteResult{EntryProblem::kCannotCheck, ErrnoOf(error)};
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return WriteResult{EntryProblem::kDirectoryAtName, 0};
  const EntryProblem guard = GuardedAs(identity, guarded);
  if (guard != EntryProblem::kNone) return WriteResult{guard, 0};
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link: what it leads to must not be the image either. A link that
    // leads nowhere is no file at all.
    FileIdentity target;
    DWORD targetAttributes = 0;
    if (IdentityAt(path, true, target, targetAttributes, error)) {
      const EntryProblem targetGuard = GuardedAs(target, guarded);
      if (targetGuard != EntryProblem::kNone) return WriteResult{targetGuard, 0};
    } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      return WriteResult{EntryProblem::kCannotCheck, ErrnoOf(error)};
    }
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) return WriteResult{EntryProblem::kReadOnlyAtName, 0};
  return WriteResult{EntryProblem::kNone, 0};
}

#else

// A folder is only ever named relative to, never read: where the system has
// O_PATH, a folder that may be written and searched but not listed is fine.
#ifdef O_PATH
constexpr int kFolderAccess = O_PATH;
#else
constexpr int kFolderAccess = O_RDONLY;
#endif

int CreateNew(int folder, const char* name) {
  // O_NOFOLLOW: a link that appears at the name in between is not followed.
  return openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                0666);
}

// Decides what may be done with the taken name: kNone when it may be
// removed.
WriteResult CheckTakenName(int folder, const char* name, const GuardedFiles& guarded) {
  struct stat info;
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    // Gone in between: nothing to remove.
    if (errno == ENOENT) return WriteResult{EntryProblem::kNone, 0};
    return WriteResult{EntryProblem::kCannotCheck, errno};
  }
  if (S_ISDIR(info.st_mode)) return WriteResult{EntryProblem::kDirectoryAtName, 0};
  const EntryProblem guard = GuardedAs(IdentityOfStatus(info), guarded);
  if (guard != EntryProblem::kNone) return WriteResult{guard, 0};
  if (S_ISLNK(info.st_mode)) {
    // A link: what it leads to must not be the image either. A link that
    // leads nowhere (a missing target, or a loop) is no file at all; any
    // other error leaves it open whether it is the image.
    struct stat target;
    if (fstatat(folder, name, &target, 0) == 0) {
      const EntryProblem targetGuard = GuardedAs(IdentityOfStatus(target), guarded);
      if (targetGuard != EntryProblem::kNone) return WriteResult{targetGuard, 0};
    } else if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP) {
      return WriteResult{EntryProblem::kCannotCheck, errno};
    }
  }
  return WriteResult{EntryProblem::kNone, 0};
}

#endif

}  // namespace

#ifdef _WIN32

int OutputFolder::Open(const NativePathChar* path) {
  Close();
  if (path[0] == 0) return ENOENT;
  // The folder as a full path: a drive alone ("D:") names the current folder
  // on that drive, not its root, and a name is then joined to it with '\'.
  const DWORD length =
      GetFullPathNameW(path, static_cast<DWORD>(sizeof prefix / sizeof prefix[0]), prefix, nullptr);
  if (length == 0) return ErrnoOf(GetLastError());
  if (length >= sizeof prefix / sizeof prefix[0]) return ENAMETOOLONG;
  // A root ("D:\") ends in its separator already.
  if (length > 0 && (prefix[length - 1] == L'\\' || prefix[length - 1] == L'/')) {
    prefix[length - 1] = 0;
  }
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOf(GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
  isOpen = true;
  return 0;
}

int OutputFolder::OpenChild(const OutputFolder& parent, const char* name) {
  Close();
  const wchar_t* wide = ToWideName(name);
  if (wide == nullptr) return EILSEQ;
  const wchar_t* path = OutputPath(parent, wide);
  if (path == nullptr || std::wcslen(path) >= sizeof prefix / sizeof prefix[0]) {
    return ENAMETOOLONG;
  }
  if (!CreateDirectoryW(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return ErrnoOf(GetLastError());
  }
  // A link to a folder is refused as a file would be.
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOf(GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return ENOTDIR;
  }
  std::wmemcpy(prefix, path, std::wcslen(path) + 1);
  isOpen = true;
  return 0;
}

void OutputFolder::Close() {
  isOpen = false;
  prefix[0] = 0;
}

#else

int OutputFolder::Open(const NativePathChar* path) {
  Close();
  const int fd = open(path, kFolderAccess | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  handle = fd;
  isOpen = true;
  return 0;
}

int OutputFolder::OpenChild(const OutputFolder& parent, const char* name) {
  Close();
  if (mkdirat(parent.Handle(), name, 0777) != 0 && errno != EEXIST) return errno;
  // O_NOFOLLOW: a link at the name, even to a folder, is not taken.
  const int fd =
      openat(parent.Handle(), name, kFolderAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? ENOTDIR : errno;
  handle = fd;
  isOpen = true;
  return 0;
}

void OutputFolder::Close() {
  if (isOpen && handle != AT_FDCWD) close(handle);
  handle = AT_FDCWD;
  isOpen = false;
}

#endif

GuardedFiles GuardImageAndConsole(const FileIdentity& image) {
  GuardedFiles guarded{};
  guarded.image = image;
#ifdef _WIN32
  const struct {
    int fd;
    FileIdentity* identity;
    bool* has;
  } streams[] = {{1, &guarded.output, &guarded.hasOutput},
                 {2, &guarded.errorOutput, &guarded.hasErrorOutput}};
  for (const auto& stream : streams) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(stream.fd));
    DWORD attributes = 0;
    *stream.has = handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
                  IdentityOfHandle(handle, *stream.identity, attributes);
  }
#else
  struct stat info;
  if (fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode)) {
    guarded.output = IdentityOfStatus(info);
    guarded.hasOutput = true;
  }
  if (fstat(STDERR_FILENO, &info) == 0 && S_ISREG(info.st_mode)) {
    guarded.errorOutput = IdentityOfStatus(info);
    guarded.hasErrorOutput = true;
  }
#endif
  return guarded;
}

#ifdef _WIN32

WriteResult WriteOutputFile(const OutputFolder& folder, const char* name, const std::uint8_t* data,
                            int size, const GuardedFiles& guarded, bool keepOld) {
  const wchar_t* wide = ToWideName(name);
  if (wide == nullptr) return WriteResult{EntryProblem::kCannotCreate, EILSEQ};
  const wchar_t* path = OutputPath(folder, wide);
  if (path == nullptr) return WriteResult{EntryProblem::kCannotCreate, ENAMETOOLONG};
  HANDLE file = CreateNew(path);
  if (file == INVALID_HANDLE_VALUE &&
      (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)) {
    if (keepOld) return WriteResult{EntryProblem::kKeptOld, EEXIST};
    const WriteResult taken = CheckTakenName(path, guarded);
    if (taken.problem != EntryProblem::kNone) return taken;
    if (!DeleteFileW(path) && GetLastError() != ERROR_FILE_NOT_FOUND) {
      return WriteResult{EntryProblem::kCannotRemove, ErrnoOf(GetLastError())};
    }
    // A name that raced in between is reported, never opened.
    file = CreateNew(path);
  }
  if (file == INVALID_HANDLE_VALUE) {
    return WriteResult{EntryProblem::kCannotCreate, ErrnoOf(GetLastError())};
  }
  DWORD written = 0;
  const DWORD wanted = size > 0 ? static_cast<DWORD>(size) : 0;
  if (wanted > 0 && (!WriteFile(file, data, wanted, &written, nullptr) || written != wanted)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return WriteResult{EntryProblem::kWriteFailed, ErrnoOf(error)};
  }
  if (!CloseHandle(file)) return WriteResult{EntryProblem::kCloseFailed, ErrnoOf(GetLastError())};
  return WriteResult{EntryProblem::kNone, 0};
}

#else

WriteResult WriteOutputFile(const OutputFolder& folder, const char* name, const std::uint8_t* data,
                            int size, const GuardedFiles& guarded, bool keepOld) {
  int fd = CreateNew(folder.Handle(), name);
  if (fd < 0 && errno == EEXIST) {
    if (keepOld) return WriteResult{EntryProblem::kKeptOld, EEXIST};
    const WriteResult taken = CheckTakenName(folder.Handle(), name, guarded);
    if (taken.problem != EntryProblem::kNone) return taken;
    // Removing the old entry, rather than truncating what it names, leaves
    // whatever a link or another hard link leads to untouched, and spares
    // the file system the flush it makes when a truncated file is closed.
    if (unlinkat(folder.Handle(), name, 0) != 0 && errno != ENOENT) {
      return WriteResult{EntryProblem::kCannotRemove, errno};
    }
    // A name that raced in between is reported, never opened.
    fd = CreateNew(folder.Handle(), name);
  }
  if (fd < 0) return WriteResult{EntryProblem::kCannotCreate, errno};
  // The data is in memory already: as few writes as the system takes.
  std::size_t done = 0;
  const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
  while (done < wanted) {
    const ssize_t got = write(fd, data + done, wanted - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const int error = got < 0 ? errno : EIO;
      close(fd);
      return WriteResult{EntryProblem::kWriteFailed, error};
    }
    done += static_cast<std::size_t>(got);
  }
  // Some file systems report a failed write only when the file is closed.
  if (close(fd) != 0) return WriteResult{EntryProblem::kCloseFailed, errno};
  return WriteResult{EntryProblem::kNone, 0};
}

#endif
