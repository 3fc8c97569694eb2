// Replacing the image on Windows: the temporary file is created with
// CREATE_NEW under a name of this process, and put in the image's place by
// ReplaceFileW, which keeps the image's attributes and security, or by
// MoveFileExW where that cannot be done. A console event that ends the
// process removes the temporary file first.
#ifdef _WIN32

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

Problem ImageReplacement::Prepare(const wchar_t* image, Mode wanted) {
  mode = wanted;
  const DWORD attributes = GetFileAttributesW(image);
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
    return LastError(Refusal::kImageUnopenable);
  if (!exists && mode == Mode::kReplace) return Failed(Refusal::kImageUnopenable, ENOENT);
  if (exists && mode == Mode::kCreate) return Refuse(Refusal::kImageExists);
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
    if (GetLastError() == ERROR_FILE_NOT_FOUND && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return Refuse(Refusal::kImageDanglingLink);
    }
    return LastError(Refusal::kImageUnopenable);
  }
  FileIdentity identity;
  DWORD targetAttributes = 0;
  const bool known = IdentityOfHandle(file, identity, targetAttributes);
  DWORD length = GetFinalPathNameByHandleW(file, target, size, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (!known) return LastError(Refusal::kImageUnopenable);
  if (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) return Refuse(Refusal::kImageNotRegular);
  readOnly = (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (length == 0 || length >= size) {
    length = GetFullPathNameW(image, size, target, nullptr);
    if (length == 0 || length >= size) return LastError(Refusal::kImageUnopenable);
  }
  return Problem{};
}

Problem ImageReplacement::Begin() {
  static bool caught = false;
  if (!caught) SetConsoleCtrlHandler(RemoveTemporary, TRUE);
  caught = true;
  const std::size_t folder = FolderLength(target);
  for (int attempt = 0;; ++attempt) {
    wchar_t name[64];
    const int nameLength = swprintf(name, sizeof name / sizeof name[0], L"\\.d88pack-%lu-%d.tmp",
                                    static_cast<unsigned long>(GetCurrentProcessId()), attempt);
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
      InterlockedExchange(&temporaryLive, 1);
      return Problem{};
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      temporary[0] = 0;
      return Failed(Refusal::kCannotCreateTemporary, ErrnoOfWindowsError(error));
    }
  }
}

Problem ImageReplacement::CopyImage(const FileIdentity& identity) {
  const HANDLE source = CreateFileW(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (source == INVALID_HANDLE_VALUE) return LastError(Refusal::kImageUnreadable);
  FileIdentity found;
  DWORD attributes = 0;
  if (!IdentityOfHandle(source, found, attributes) || !(found == identity)) {
    CloseHandle(source);
    return Refuse(Refusal::kImageChanged);
  }
  static std::uint8_t buffer[1 << 20];
  for (int64_t copied = 0;;) {
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
  CloseHandle(source);
  return Problem{};
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

Problem ImageReplacement::Commit() {
  const HANDLE file = static_cast<HANDLE>(handle);
  handle = nullptr;
  const bool flushed = FlushFileBuffers(file) != 0;
  const DWORD flushError = GetLastError();
  if (!CloseHandle(file) || !flushed) {
    return Failed(Refusal::kCannotWrite,
                  ErrnoOfWindowsError(flushed ? GetLastError() : flushError));
  }
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
  temporary[0] = 0;
  return Problem{};
}

void ImageReplacement::Abandon() {
  if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
  handle = nullptr;
  if (temporary[0] == 0) return;
  DeleteFileW(temporary);
  InterlockedExchange(&temporaryLive, 0);
  temporary[0] = 0;
}

#endif
