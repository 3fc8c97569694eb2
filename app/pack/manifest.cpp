#include "manifest.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "console.h"
#include "disk_layout.h"
#include "hints.h"
#include "image_replace.h"
#include "input_file.h"
#include "lay_disk.h"
#include "manifest_line.h"
#include "native_api.h"
#include "refusal.h"

namespace {

// d88unpack reads at most 64 disks of an image, each of at most 255 files.
constexpr int kMaxDisks = kManifestMaxDisks;

// Why a path in the manifest is not followed.
enum class PathFault : std::uint8_t { kNone, kEmpty, kAbsolute, kOutside, kLink, kUnreadable };

// The folder the manifest lies in: the paths it gives are read below it,
// never through a symbolic link nor out of it.
class ManifestFolder {
 public:
  ManifestFolder() = default;
  ~ManifestFolder();
  ManifestFolder(const ManifestFolder&) = delete;
  ManifestFolder& operator=(const ManifestFolder&) = delete;

  // The folder of the manifest `manifest`: 0, or the system's error.
  int Open(const NativePathChar* manifest);
  // Opens the file `path` ('/' between its parts) below the folder.
  PathFault OpenFile(const char* path, InputFile& file, long long& size, Problem& problem);

 private:
#ifdef _WIN32
  wchar_t folder[4096] = {};
#else
  int fd = -1;
#endif
};

// Whether a path may be followed by its parts alone: kNone, or kEmpty (it
// or a part of it is empty), kAbsolute, or kOutside (a part is '..').
PathFault CheckParts(const char* path) {
  if (path[0] == 0) return PathFault::kEmpty;
  if (path[0] == '/') return PathFault::kAbsolute;
#ifdef _WIN32
  if (path[0] == '\\' || (path[0] != 0 && path[1] == ':')) return PathFault::kAbsolute;
#endif
  const char* part = path;
  for (const char* p = path;; ++p) {
#ifdef _WIN32
    const bool end = *p == 0 || *p == '/' || *p == '\\';
#else
    const bool end = *p == 0 || *p == '/';
#endif
    if (!end) continue;
    const std::size_t length = static_cast<std::size_t>(p - part);
    if (length == 0) return PathFault::kEmpty;
    if (length == 2 && part[0] == '.' && part[1] == '.') return PathFault::kOutside;
    if (*p == 0) break;
    part = p + 1;
  }
  return PathFault::kNone;
}

#ifdef _WIN32

ManifestFolder::~ManifestFolder() = default;

int ManifestFolder::Open(const wchar_t* manifest) {
  const std::size_t length = std::wcslen(manifest);
  if (length >= sizeof folder / sizeof folder[0]) return ENAMETOOLONG;
  std::wcscpy(folder, manifest);
  wchar_t* base = folder;
  for (wchar_t* p = folder; *p != 0; ++p) {
    if (*p == L'\\' || *p == L'/' || (*p == L':' && p == folder + 1)) base = p + 1;
  }
  *base = 0;
  return 0;
}

PathFault ManifestFolder::OpenFile(const char* path, InputFile& file, long long& size,
                                   Problem& problem) {
  const PathFault parts = CheckParts(path);
  if (parts != PathFault::kNone) return parts;
  wchar_t full[4096];
  const std::size_t used = std::wcslen(folder);
  std::wcscpy(full, folder);
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, full + used,
                          static_cast<int>(4096 - used)) <= 0) {
    problem = Failed(Refusal::kFileUnreadable, ENAMETOOLONG);
    return PathFault::kUnreadable;
  }
  // No part of the path may be a link or junction.
  for (wchar_t* p = full + used;; ++p) {
    if (*p != 0 && *p != L'/' && *p != L'\\') continue;
    const wchar_t kept = *p;
    *p = 0;
    const DWORD attributes = GetFileAttributesW(full);
    *p = kept;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      problem = Failed(Refusal::kFileUnreadable, ErrnoOfWindowsError(GetLastError()));
      return PathFault::kUnreadable;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathFault::kLink;
    if (kept == 0) break;
  }
  problem = file.Open(full, size);
  return problem ? PathFault::kUnreadable : PathFault::kNone;
}

#else

ManifestFolder::~ManifestFolder() {
  if (fd != -1) close(fd);
}

int ManifestFolder::Open(const char* manifest) {
  char folder[4096];
  const char* slash = std::strrchr(manifest, '/');
  if (slash == nullptr) {
    std::snprintf(folder, sizeof folder, ".");
  } else {
    const int length = slash == manifest ? 1 : static_cast<int>(slash - manifest);
    std::snprintf(folder, sizeof folder, "%.*s", length, manifest);
  }
  fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd < 0 ? errno : 0;
}

PathFault ManifestFolder::OpenFile(const char* path, InputFile& file, long long& size,
                                   Problem& problem) {
  const PathFault parts = CheckParts(path);
  if (parts != PathFault::kNone) return parts;
  // Folder by folder, none of them a link.
  int at = fd;
  char part[256];
  const char* p = path;
  for (const char* slash = std::strchr(p, '/'); slash != nullptr; slash = std::strchr(p, '/')) {
    if (slash - p >= static_cast<std::ptrdiff_t>(sizeof part)) {
      if (at != fd) close(at);
      problem = Failed(Refusal::kFileUnreadable, ENAMETOOLONG);
      return PathFault::kUnreadable;
    }
    std::snprintf(part, sizeof part, "%.*s", static_cast<int>(slash - p), p);
    const int next = openat(at, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    // A link where a folder is asked for fails as ELOOP or ENOTDIR.
    struct stat info;
    if (next < 0 && fstatat(at, part, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
      if (at != fd) close(at);
      return PathFault::kLink;
    }
    if (at != fd) close(at);
    if (next < 0) {
      problem = Failed(Refusal::kFileUnreadable, error);
      return PathFault::kUnreadable;
    }
    at = next;
    p = slash + 1;
  }
  problem = file.OpenAt(at, p, size);
  if (at != fd) close(at);
  if (problem && problem.error == ELOOP) return PathFault::kLink;
  return problem ? PathFault::kUnreadable : PathFault::kNone;
}

#endif

std::FILE* OpenForReading(const NativePathChar* path) {
#ifdef _WIN32
  return _wfopen(path, L"rb");
#else
  return std::fopen(path, "rb");
#endif
}

class ManifestPacker {
 public:
  ManifestPacker(const Console& console, const Options& options, DecodedDisk& disk,
                 ImageReplacement& replacement, ManifestWork& work)
      : console(console),
        options(options),
        layer(disk),
        disk(disk),
        replacement(replacement),
        work(work) {}
  int Run();

 private:
  bool Prepare();
  bool Read();
  bool TakeLine(ManifestLine& line);
  bool StartDisk(const ManifestDisk& given);
  bool PutFile(const ManifestFile& given);
  bool EndDisk();
  // Reads the file at `path` below the manifest's folder: exactly `size`
  // bytes into `data`, a file no earlier line named.
  bool ReadFile(const char* path, long long size, std::uint8_t* data);
  // "d88pack: MANIFEST:LINE: " and the words; false.
#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  bool
  Refuse(const char* format, ...);

  const Console& console;
  const Options& options;
  DiskLayer layer;
  DecodedDisk& disk;
  ImageReplacement& replacement;
  ManifestWork& work;
  ManifestFolder folder;
  DiskLook look{};
  bool inDisk = false;
  int disks = 0;
  long long lineNumber = 0;
  // The files read so far, in work.identities and work.lines.
  int files = 0;
};

bool ManifestPacker::Refuse(const char* format, ...) {
  std::fflush(console.out);
  std::fprintf(console.err, "%s: ", kProgramName);
  PutPath(options.from, console.err);
  if (lineNumber > 0) std::fprintf(console.err, ":%lld", lineNumber);
  std::fputs(": ", console.err);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(console.err, format, arguments);
  va_end(arguments);
  std::fputc('\n', console.err);
  return false;
}

bool ManifestPacker::ReadFile(const char* path, long long size, std::uint8_t* data) {
  InputFile& input = work.input;
  long long found = 0;
  Problem problem;
  char reason[kProblemTextSize];
  switch (folder.OpenFile(path, input, found, problem)) {
    case PathFault::kEmpty:
      return Refuse("\"%s\": the path is empty or has an empty part", path);
    case PathFault::kAbsolute:
      return Refuse("%s: the path is absolute; it must lie in the manifest's folder", path);
    case PathFault::kOutside:
      return Refuse("%s: the path leads out of the manifest's folder", path);
    case PathFault::kLink:
      return Refuse("%s: the path leads through a symbolic link, which is not followed", path);
    case PathFault::kUnreadable:
      DescribeProblem(problem, reason);
      return Refuse("%s: %s", path, reason);
    case PathFault::kNone:
      break;
  }
  if (found != size) {
    input.Close();
    return Refuse("%s: holds %lld bytes; the manifest says %lld", path, found, size);
  }
  for (int i = 0; i < files; ++i) {
    if (work.identities[i] == input.Identity()) {
      input.Close();
      return Refuse("%s: is the file of line %lld too; one file cannot hold both", path,
                    work.lines[i]);
    }
  }
  work.identities[files] = input.Identity();
  work.lines[files++] = lineNumber;
  problem = input.Read(data, static_cast<int>(size));
  input.Close();
  if (problem) {
    DescribeProblem(problem, reason);
    return Refuse("%s: %s", path, reason);
  }
  return true;
}

bool ManifestPacker::EndDisk() {
  if (!inDisk) return true;
  inDisk = false;
  layer.Finish();
  const Problem problem = AppendDisk(replacement, look, disk);
  if (!problem) return true;
  char reason[kProblemTextSize];
  DescribeProblem(problem, reason);
  lineNumber = 0;
  return Refuse("%s", reason);
}

bool ManifestPacker::StartDisk(const ManifestDisk& given) {
  if (!given.directory) {
    return Refuse("the disk has no directory, so no files to put back; the image cannot be made");
  }
  if (disks == kMaxDisks) return Refuse("more than %d disks", kMaxDisks);
  ++disks;
  look = DiskLook{};
  look.number = given.number;
  std::memcpy(look.label, given.label, given.labelLength);
  look.labelLength = given.labelLength;
  look.writeProtected = given.writeProtected;
  look.media = given.media;
  look.fill = given.fill;
  look.directoryFill = given.directoryFill;
  if (given.systemArea != nullptr) {
    if (given.number != kSystemDiskNumber) {
      return Refuse("only the system disk (number 0) has a system area");
    }
    if (!ReadFile(given.systemArea, kSystemAreaSize, work.systemArea)) return false;
    look.systemArea = work.systemArea;
  }
  layer.Begin(look);
  inDisk = true;
  return true;
}

bool ManifestPacker::PutFile(const ManifestFile& given) {
  if (!inDisk) return Refuse("a file before the first disk");
  if (!given.written) {
    return Refuse("the file was not written (status \"%s\"); the image cannot be made without it",
                  given.status);
  }
  if (given.path == nullptr) {
    return Refuse(
        "the file has no path: its name is not UTF-8 text (d88unpack --utf8 writes "
        "it so)");
  }
  EntryName name;
  if (!ListedEntryName(given.name, given.nameLength, name)) {
    return Refuse("\"name_bytes\" is no name an entry lists as");
  }
  if (!ReadFile(given.path, given.size, work.data)) return false;
  const int allocation = given.allocation < 0 ? kNewAllocation : given.allocation;
  switch (layer.Add(name, given.start, work.data, given.size, allocation)) {
    case LayProblem::kNone:
      return true;
    case LayProblem::kDirectoryFull:
      return Refuse("the disk holds %d files already, the most a directory can", kMaxEntryCount);
    case LayProblem::kEndPastFFFF:
      return Refuse("the file would end past FFFF");
    case LayProblem::kPastDataArea:
      return Refuse("the file's record does not fit: it would reach the directory track");
    case LayProblem::kOverEarlierRecord:
      return Refuse("the file's record lies over an earlier one and would change it");
  }
  return false;
}

bool ManifestPacker::TakeLine(ManifestLine& line) {
  switch (line.kind) {
    case LineKind::kBlank:
      return true;
    case LineKind::kBad:
      return Refuse("%s", line.why);
    case LineKind::kDisk:
      return EndDisk() && StartDisk(line.disk);
    case LineKind::kFile:
      return PutFile(line.file);
  }
  return false;
}

bool ManifestPacker::Read() {
  std::FILE* stream = OpenForReading(options.from);
  if (stream == nullptr) return Refuse("cannot open: %s", std::strerror(errno));
  const int error = folder.Open(options.from);
  if (error != 0) {
    std::fclose(stream);
    return Refuse("cannot open its folder: %s", std::strerror(error));
  }
  char(&text)[kMaxManifestLine + 1] = work.text;
  ManifestLine& line = work.line;
  bool ok = true;
  while (ok && std::fgets(text, sizeof text, stream) != nullptr) {
    ++lineNumber;
    const std::size_t length = std::strlen(text);
    if (length == sizeof text - 1 && text[length - 1] != '\n') {
      ok = Refuse("the line is longer than %d bytes", kMaxManifestLine);
    } else {
      ParseManifestLine(text, work.parseRoom, line);
      ok = TakeLine(line);
    }
  }
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (!ok) return false;
  lineNumber = 0;
  if (failed) return Refuse("cannot read");
  if (disks == 0) return Refuse("holds no disk");
  return EndDisk();
}

bool ManifestPacker::Prepare() {
  Problem problem = replacement.Prepare(
      options.image,
      options.force ? ImageReplacement::Mode::kCreateOrReplace : ImageReplacement::Mode::kCreate,
      options.force);
  if (replacement.Exists()) {
    if (ConsoleGoesIntoFoundImage(console, options.image, replacement.State().identity)) {
      return false;
    }
  }
  if (!problem) problem = replacement.Lock();
  if (!problem) problem = replacement.Begin();
  if (!problem) return true;
  ShowImageProblem(console, options.image, problem);
  return false;
}

int ManifestPacker::Run() {
  if (!Prepare()) return 1;
  Problem problem;
  if (Read())
    problem = replacement.Commit();
  else
    problem = ::Refuse(Refusal::kNothingWritten);
  if (problem) {
    replacement.Abandon();
    ShowImageProblem(console, options.image, problem);
    return 1;
  }
  return StandardOutputWritten(console) ? 0 : 1;
}

}  // namespace

bool ReadSystemAreaFile(const Console& console, const NativePathChar* path, InputFile& input,
                        std::uint8_t (&area)[kSystemAreaSize]) {
  long long size = 0;
  Problem problem = input.Open(path, size);
  if (!problem && size != kSystemAreaSize) problem = Refuse(Refusal::kFileChanged);
  if (!problem) problem = input.Read(area, kSystemAreaSize);
  input.Close();
  if (!problem) return true;
  PutPathPrefix(console, path);
  if (problem.why == Refusal::kFileChanged && size != kSystemAreaSize) {
    std::fprintf(console.err, "a system area is %d bytes; this file holds %lld\n", kSystemAreaSize,
                 size);
  } else {
    PutReason(console, problem);
  }
  return false;
}

int PackFromManifest(const Console& console, const Options& options, DecodedDisk& disk,
                     ImageReplacement& replacement, ManifestWork& work) {
  ManifestPacker packer(console, options, disk, replacement, work);
  const int status = packer.Run();
  replacement.Abandon();
  return status;
}
