// The output folder and output files on Windows: names are joined to the
// folder's full path and created through the wide-character API, as the
// UTF-16 text that the disk's code page 932 bytes give.
#ifdef _WIN32

#include <io.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "native_api.h"
#include "output_file.h"
#include "output_name.h"

namespace {

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

// The longest path Windows takes, in UTF-16 units, with its terminator.
constexpr int kWidePathSize = 32768;

// The folder's prefix and the name, as one path, made in `path`.
const wchar_t* OutputPath(const OutputFolder& folder, const wchar_t* name,
                          wchar_t (&path)[kWidePathSize]) {
  const wchar_t* prefix = folder.GetPrefix();
  if (prefix == nullptr) return name;
  const std::size_t prefixLength = std::wcslen(prefix);
  const std::size_t nameLength = std::wcslen(name);
  if (prefixLength + 1 + nameLength + 1 > sizeof path / sizeof path[0]) return nullptr;
  std::wmemcpy(path, prefix, prefixLength);
  path[prefixLength] = L'\\';
  std::wmemcpy(path + prefixLength + 1, name, nameLength + 1);
  return path;
}

WriteResult Failure(EntryProblem problem, int error) {
  WriteResult result{};
  result.problem = problem;
  result.error = error;
  return result;
}

// Decides what may be done with the taken name `path`: kNone when it may be
// removed, with `old` what stands there.
WriteResult CheckTakenName(const wchar_t* path, const GuardedFiles& guarded) {
  FileIdentity identity;
  DWORD attributes = 0;
  DWORD error = 0;
  if (!IdentityAt(path, false, identity, attributes, error)) {
    return Failure(EntryProblem::kCannotCheck, ErrnoOfWindowsError(error));
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Failure(EntryProblem::kDirectoryAtName, 0);
  const EntryProblem guard = GuardedAs(identity, guarded);
  if (guard != EntryProblem::kNone) return Failure(guard, 0);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link: what it leads to must not be the image either. A link that
    // leads nowhere is no file at all.
    FileIdentity target;
    DWORD targetAttributes = 0;
    if (IdentityAt(path, true, target, targetAttributes, error)) {
      const EntryProblem targetGuard = GuardedAs(target, guarded);
      if (targetGuard != EntryProblem::kNone) return Failure(targetGuard, 0);
    } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      return Failure(EntryProblem::kCannotCheck, ErrnoOfWindowsError(error));
    }
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) return Failure(EntryProblem::kReadOnlyAtName, 0);
  WriteResult free{};
  free.oldRemoved = true;
  free.old = identity;
  return free;
}

}  // namespace

int OutputFolder::Open(const NativePathChar* path) {
  Close();
  if (path[0] == 0) return ENOENT;
  // The folder as a full path: a drive alone ("D:") names the current folder
  // on that drive, not its root, and a name is then joined to it with '\'.
  const DWORD length =
      GetFullPathNameW(path, static_cast<DWORD>(sizeof prefix / sizeof prefix[0]), prefix, nullptr);
  if (length == 0) return ErrnoOfWindowsError(GetLastError());
  if (length >= sizeof prefix / sizeof prefix[0]) return ENAMETOOLONG;
  // A root ("D:\") ends in its separator already.
  if (length > 0 && (prefix[length - 1] == L'\\' || prefix[length - 1] == L'/')) {
    prefix[length - 1] = 0;
  }
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOfWindowsError(GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
  isOpen = true;
  return 0;
}

int OutputFolder::OpenChild(const OutputFolder& parent, const char* name) {
  Close();
  wchar_t wideName[kMaxNameBytes + 1];
  const wchar_t* wide = WideFileName(name, wideName);
  if (wide == nullptr) return EILSEQ;
  wchar_t joined[kWidePathSize];
  const wchar_t* path = OutputPath(parent, wide, joined);
  if (path == nullptr || std::wcslen(path) >= sizeof prefix / sizeof prefix[0]) {
    return ENAMETOOLONG;
  }
  if (!CreateDirectoryW(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return ErrnoOfWindowsError(GetLastError());
  }
  // A link to a folder is refused as a file would be.
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOfWindowsError(GetLastError());
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

// Windows file systems fold case: a file is known by its identity.
bool OutputFolder::NamesAreExact() const {
  return false;
}

GuardedFiles GuardImageAndConsole(const ImageIdentity& image, int output, int errorOutput) {
  GuardedFiles guarded{};
  guarded.image = image;
  guarded.hasOutput = output >= 0 && IdentityOfStreamFile(output, guarded.output);
  guarded.hasErrorOutput =
      errorOutput >= 0 && IdentityOfStreamFile(errorOutput, guarded.errorOutput);
  return guarded;
}

WriteResult WriteOutputFile(const OutputFolder& folder, const char* name, const std::uint8_t* data,
                            int size, const GuardedFiles& guarded, bool keepOld) {
  wchar_t wideName[kMaxNameBytes + 1];
  const wchar_t* wide = WideFileName(name, wideName);
  if (wide == nullptr) return Failure(EntryProblem::kCannotCreate, EILSEQ);
  wchar_t joined[kWidePathSize];
  const wchar_t* path = OutputPath(folder, wide, joined);
  if (path == nullptr) return Failure(EntryProblem::kCannotCreate, ENAMETOOLONG);
  WriteResult result{};
  HANDLE file = CreateNew(path);
  if (file == INVALID_HANDLE_VALUE &&
      (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)) {
    if (keepOld) return Failure(EntryProblem::kKeptOld, EEXIST);
    result = CheckTakenName(path, guarded);
    if (result.problem != EntryProblem::kNone) return result;
    if (!DeleteFileW(path)) {
      if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return Failure(EntryProblem::kCannotRemove, ErrnoOfWindowsError(GetLastError()));
      }
      result.oldRemoved = false;
    }
    // A name that raced in between is reported, never opened.
    file = CreateNew(path);
  }
  if (file == INVALID_HANDLE_VALUE) {
    result.problem = EntryProblem::kCannotCreate;
    result.error = ErrnoOfWindowsError(GetLastError());
    return result;
  }
  DWORD written = 0;
  const DWORD wanted = size > 0 ? static_cast<DWORD>(size) : 0;
  if (wanted > 0 && (!WriteFile(file, data, wanted, &written, nullptr) || written != wanted)) {
    result.problem = EntryProblem::kWriteFailed;
    result.error = ErrnoOfWindowsError(GetLastError());
  }
  DWORD attributes = 0;
  if (result.problem == EntryProblem::kNone) {
    result.identified = IdentityOfHandle(file, result.created, attributes);
  }
  if (!CloseHandle(file) && result.problem == EntryProblem::kNone) {
    result.problem = EntryProblem::kCloseFailed;
    result.error = ErrnoOfWindowsError(GetLastError());
  }
  // A file cut short is no file of the entry's: nothing is left of it.
  if (result.problem != EntryProblem::kNone) DeleteFileW(path);
  return result;
}

#endif
