#include "manifest_keys.h"

#include <cstring>

#include "codepage.h"
#include "console.h"
#include "disk_fill.h"

const char* WrittenFilePath(const EntryOutcome& outcome, const char* fileName,
                            const OutputTarget& target, char (&path)[kWrittenPathSize]) {
  const bool written = outcome.status == EntryStatus::kWritten ||
                       outcome.status == EntryStatus::kTruncated ||
                       outcome.status == EntryStatus::kSalvaged;
  if (!written || fileName == nullptr) return nullptr;
#ifdef _WIN32
  // The name was created as the Unicode text of its code page 932 bytes.
  char utf8[kWrittenPathSize];
  Cp932ToUtf8Lenient(fileName, std::strlen(fileName), utf8, sizeof utf8);
  fileName = utf8;
#else
  // JSON text is UTF-8: a name written as code page 932 bytes has no path
  // there (with --utf8 it is written as UTF-8).
  if (!IsValidUtf8(fileName)) return nullptr;
#endif
  WrittenPath(target, fileName, path);
  return path;
}

bool WriteSystemArea(D88Image& image, const DiskRecord& record, OutputTarget& target,
                     const Report& report, char (&path)[kWrittenPathSize], const char*& written) {
  static std::uint8_t area[kSystemAreaSize];
  EntryOutcome outcome{};
  written = nullptr;
  if (!ReadSystemArea(image, area)) {
    report.SystemArea(record, nullptr, outcome);
    return false;
  }
  // Written as an entry of its own would be, by the same rules.
  EntryRecord entry{};
  entry.name = kSystemAreaName;
  entry.nameLength = static_cast<int>(sizeof kSystemAreaName - 1);
  entry.problem = EntryProblem::kNone;
  entry.end = kSystemAreaSize;
  entry.size = kSystemAreaSize;
  entry.data = area;
  entry.inDisk = kSystemAreaSize;
  entry.available = kSystemAreaSize;
  entry.missingSector = -1;
  entry.missing = MissingBytes{0, 0, -1, -1};
  outcome = ExtractEntry(entry, kSystemAreaName, target);
  report.SystemArea(record, &entry, outcome);
  if (outcome.problem != EntryProblem::kNone) return false;
  if (outcome.status == EntryStatus::kWritten) {
    WrittenPath(target, kSystemAreaName, path);
    written = path;
  }
  return true;
}
