// Replacing the image on Windows: the temporary file is created with
// CREATE_NEW under a name with a random part, and put in the image's place
// by ReplaceFileW, which keeps the image's attributes, security and streams,
// or by MoveFileExW where that cannot be done. A console event that ends the
// process removes the temporary file first. Runs take turns by an exclusive
// lock on one byte far past the image's end: Windows locks keep other
// handles from reading what they cover, and the image's own bytes must stay
// readable by anyone.
#ifdef _WIN32

// rand_s, from the system's random numbers.
#define _CRT_RAND_S
#include <cstdlib>
#include <cwchar>

#include "image_replace.h"
#include "native_api.h"

namespace {

// The temporary file a console event must remove.
volatile LONG temporaryLive = 0;
wchar_t temporaryForEvent[4096];

BOOL WINAPI RemoveTemporary(DWORD) {
  // Opened with FILE_SHARE_DELETE: the file goes when the process ends.
  if (temporaryLive) DeleteFileW(temporaryForEvent);
  return FALSE;
}

Problem LastError(Refusal why) {
  return Failed(why, ErrnoOfWindowsError(GetLastError()));
}

constexpr int kNameAttempts = 100;
// The byte locked: past the end of any image.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffset = 0xFFFFFFFE;

int64_t Large(DWORD high, DWORD low) {
  return static_cast<int64_t>(static_cast<std::uint64_t>(high) << 32 | low);
}

// The state of the open file `file`.
bool StateOfHandle(HANDLE file, FileState& state) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO times;
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) {
    return false;
  }
  state.identity.device = info.dwVolumeSerialNumber;
  state.identity.file = static_cast<std::uint64_t>(Large(info.nFileIndexHigh, info.nFileIndexLow));
  state.size = Large(info.nFileSizeHigh, info.nFileSizeLow);
  state.modified = times.LastWriteTime.QuadPart;
  state.changed = times.ChangeTime.QuadPart;
  return true;
}

// The state of the file `path` leads to, or false.
bool StateOfPath(const wchar_t* path, FileState& state) {
  const HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = StateOfHandle(file, state);
  CloseHandle(file);
  return known;
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t length, int64_t position) {
  while (length > 0) {
    const DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, &at) || written == 0) return false;
    data += written;
    length -= written;
    position += written;
  }
  return true;
}

// The length of the folder part of `path`, up to its last separator.
std::size_t FolderLength(const wchar_t* path) {
  std::size_t folder = 0;
  for (std::size_t i = 0; path[i] != 0; ++i) {
    if (path[i] == L'\\' || path[i] == L'/') folder = i;
  }
  return folder;
}

}  // namespace

Problem ImageReplacement::Prepare(const wchar_t* image, Mode wanted, bool forced) {
  Reset();
  mode = wanted;
  force = forced;
  given = image;
  const DWORD attributes = GetFileAttributesW(image);
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
    return LastError(Refusal::kImageUnopenable);
  if (!exists && mode == Mode::kReplace) return Failed(Refusal::kImageUnopenable, ENOENT);
  const DWORD size = static_cast<DWORD>(sizeof target / sizeof target[0]);
  if (!exists) {
    const DWORD length = GetFullPathNameW(image, size, target, nullptr);
    if (length == 0 || length >= size) return LastError(Refusal::kImageUnopenable);
    return Problem{};
  }
  // The file a link leads to is replaced in its own folder; the link stays.
  const HANDLE file = CreateFileW(image, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    exists = false;
    if (GetLastError() == ERROR_FILE_NOT_FOUND && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return Refuse(Refusal::kImageDanglingLink);
    }
    return LastError(Refusal::kImageUnopenable);
  }
  FileIdentity identity;
  DWORD targetAttributes = 0;
  const bool known =
      IdentityOfHandle(file, identity, targetAttributes) && StateOfHandle(file, state);
  DWORD length = GetFinalPathNameByHandleW(file, target, size, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (!known) {
    exists = false;
    return LastError(Refusal::kImageUnopenable);
  }
  if (mode == Mode::kCreate) return Refuse(Refusal::kImageExists);
  if (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) return Refuse(Refusal::kImageNotRegular);
  readOnly = (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (length == 0 || length >= size) {
    length = GetFullPathNameW(image, size, target, nullptr);
    if (length == 0 || length >= size) return LastError(Refusal::kImageUnopenable);
  }
  return Problem{};
}

Problem ImageReplacement::Permission() const {
  return exists && readOnly ? Refuse(Refusal::kImageReadOnly) : Problem{};
}

Problem ImageReplacement::Lock() {
  for (int attempt = 0; exists; ++attempt) {
    const HANDLE file =
        CreateFileW(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError(Refusal::kImageUnopenable);
    OVERLAPPED at{};
    at.Offset = kLockOffset;
    at.OffsetHigh = kLockOffsetHigh;
    // A file system without locks: the checks of the image's state remain.
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
      const DWORD error = GetLastError();
      if (error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION &&
          error != ERROR_INVALID_PARAMETER) {
        CloseHandle(file);
        return Failed(Refusal::kImageUnlockable, ErrnoOfWindowsError(error));
      }
    }
    // Another run may have put its new image in place meanwhile: the name
    // must still lead to the file locked.
    FileState held;
    FileState named;
    if (StateOfHandle(file, held) && StateOfPath(given, named) && held.identity == named.identity) {
      lockHandle = file;
      state = held;
      return Problem{};
    }
    CloseHandle(file);
    if (attempt == kNameAttempts) return Refuse(Refusal::kImageChanged);
    const Problem problem = Prepare(given, mode, force);
    if (problem) return problem;
  }
  return Problem{};
}

Problem ImageReplacement::KeepOwnerAndAttributes() {
  // ReplaceFileW gives the new image the old one's.
  return Problem{};
}

Problem ImageReplacement::Begin() {
  // Registered while the temporary file may stand, and no longer.
  SetConsoleCtrlHandler(RemoveTemporary, TRUE);
  const std::size_t folder = FolderLength(target);
  for (int attempt = 0;; ++attempt) {
    unsigned int random[2] = {};
    for (unsigned int& part : random) {
      if (rand_s(&part) != 0) part = GetTickCount() ^ GetCurrentProcessId() << 12 ^ attempt;
    }
    wchar_t name[64];
    const int nameLength = swprintf(name, sizeof name / sizeof name[0], L"\\.d88pack-%08x%04x.tmp",
                                    random[0], random[1] & 0xFFFF);
    if (folder + static_cast<std::size_t>(nameLength) + 1 >=
        sizeof temporary / sizeof temporary[0]) {
      return Failed(Refusal::kCannotCreateTemporary, ENAMETOOLONG);
    }
    wmemcpy(temporary, target, folder);
    wmemcpy(temporary + folder, name, static_cast<std::size_t>(nameLength) + 1);
    const HANDLE file =
        CreateFileW(temporary, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle = file;
      wmemcpy(temporaryForEvent, temporary, sizeof temporaryForEvent / sizeof temporaryForEvent[0]);
      wmemcpy(reachable, temporary, sizeof reachable / sizeof reachable[0]);
      InterlockedExchange(&temporaryLive, 1);
      return exists ? KeepOwnerAndAttributes() : Problem{};
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == kNameAttempts) {
      temporary[0] = 0;
      return Failed(Refusal::kCannotCreateTemporary, ErrnoOfWindowsError(error));
    }
  }
}

Problem ImageReplacement::CopyImage() {
  const HANDLE source = CreateFileW(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (source == INVALID_HANDLE_VALUE) return LastError(Refusal::kImageUnreadable);
  FileState found;
  if (!StateOfHandle(source, found) || !(found == state)) {
    CloseHandle(source);
    return Refuse(Refusal::kImageChanged);
  }
  int64_t copied = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(source, buffer, sizeof buffer, &got, nullptr)) {
      const Problem problem = LastError(Refusal::kImageUnreadable);
      CloseHandle(source);
      return problem;
    }
    if (got == 0) break;
    if (!WriteAll(static_cast<HANDLE>(handle), buffer, got, copied)) {
      const Problem problem = LastError(Refusal::kCannotWrite);
      CloseHandle(source);
      return problem;
    }
    copied += got;
  }
  // A writer that takes no lock may have changed the image while it was
  // read, or copied.
  const bool same = StateOfHandle(source, found) && found == state && copied == state.size;
  CloseHandle(source);
  return same ? Problem{} : Refuse(Refusal::kImageChanged);
}

Problem ImageReplacement::Append(const std::uint8_t* data, std::size_t length) {
  if (!WriteAll(static_cast<HANDLE>(handle), data, length, appended)) {
    return LastError(Refusal::kCannotWrite);
  }
  appended += static_cast<int64_t>(length);
  return Problem{};
}

Problem ImageReplacement::WriteAt(int64_t position, const std::uint8_t* data, std::size_t length) {
  if (!WriteAll(static_cast<HANDLE>(handle), data, length, position)) {
    return LastError(Refusal::kCannotWrite);
  }
  return Problem{};
}

Problem ImageReplacement::ReadAt(int64_t position, std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle), data, static_cast<DWORD>(length), &got, &at)) {
      return LastError(Refusal::kCannotReadBack);
    }
    if (got == 0) return Failed(Refusal::kCannotReadBack, EIO);
    data += got;
    length -= got;
    position += got;
  }
  return Problem{};
}

Problem ImageReplacement::Unchanged() const {
  if (!exists || mode != Mode::kReplace) return Problem{};
  FileState now;
  return StateOfPath(given, now) && now == state ? Problem{} : Refuse(Refusal::kImageChanged);
}

Problem ImageReplacement::Commit() {
  const HANDLE file = static_cast<HANDLE>(handle);
  handle = nullptr;
  const bool flushed = FlushFileBuffers(file) != 0;
  const DWORD flushError = GetLastError();
  if (!CloseHandle(file) || !flushed) {
    return Failed(Refusal::kCannotWrite,
                  ErrnoOfWindowsError(flushed ? GetLastError() : flushError));
  }
  const Problem problem = Unchanged();
  if (problem) return problem;
  if (mode == Mode::kCreate || (mode == Mode::kCreateOrReplace && !exists)) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where a file has come
    // to stand at the name in the meantime.
    if (!MoveFileExW(temporary, target, MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return Refuse(Refusal::kImageExists);
      }
      return Failed(Refusal::kCannotReplace, ErrnoOfWindowsError(error));
    }
  } else {
    // A read-only file cannot be replaced: it loses the attribute for the
    // moment, and the new image, which takes the old one's attributes, gets
    // it back.
    const DWORD attributes = GetFileAttributesW(target);
    const bool unset = readOnly && attributes != INVALID_FILE_ATTRIBUTES &&
                       SetFileAttributesW(target, attributes & ~FILE_ATTRIBUTE_READONLY);
    const bool replaced =
        ReplaceFileW(target, temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr) ||
        MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const DWORD error = GetLastError();
    if (unset) SetFileAttributesW(target, attributes);
    if (!replaced) return Failed(Refusal::kCannotReplace, ErrnoOfWindowsError(error));
  }
  InterlockedExchange(&temporaryLive, 0);
  SetConsoleCtrlHandler(RemoveTemporary, FALSE);
  temporary[0] = 0;
  reachable[0] = 0;
  // The new image is in place: the next run may go on.
  if (lockHandle != nullptr) CloseHandle(static_cast<HANDLE>(lockHandle));
  lockHandle = nullptr;
  return Problem{};
}

void ImageReplacement::Abandon() {
  if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
  handle = nullptr;
  reachable[0] = 0;
  if (lockHandle != nullptr) CloseHandle(static_cast<HANDLE>(lockHandle));
  lockHandle = nullptr;
  if (temporary[0] == 0) return;
  DeleteFileW(temporary);
  InterlockedExchange(&temporaryLive, 0);
  SetConsoleCtrlHandler(RemoveTemporary, FALSE);
  temporary[0] = 0;
}

#endif
