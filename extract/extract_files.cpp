#include "extract_files.h"

#include <cstdio>
#include <cstring>

#include "directory.h"
#include "disk_layout.h"
#include "output_file.h"

namespace {

// Writes one byte of a name or letter for a message: bytes outside printable
// ASCII as \xHH, so that a hostile name cannot drive the terminal.
void PutEscaped(unsigned char byte, std::FILE* stream) {
  if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
    std::fputc(byte, stream);
  } else {
    std::fprintf(stream, "\\x%02x", byte);
  }
}

// One line on standard error: which disk, which file, and why it was not
// written as listed.
void Report(DiskContext& context, int diskNumber, const char* name, const char* what,
            const char* reason) {
  // Keep the listing line of the entry ahead of its complaint when both
  // streams go to one place.
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: disk %d (", context.diskIndex + 1);
  // The letter is a raw byte, NUL for disk number 191.
  PutEscaped(DiskLetter(diskNumber), stderr);
  std::fputs("): \"", stderr);
  for (const char* p = name; *p != 0; ++p) PutEscaped(static_cast<unsigned char>(*p), stderr);
  std::fprintf(stderr, "\": %s: %s\n", what, reason);
  context.problem = true;
}

void ReportWriteFailure(DiskContext& context, int diskNumber, const char* name,
                        const WriteResult& result) {
  const char* what = result.failure == WriteFailure::kCreate  ? "cannot create"
                     : result.failure == WriteFailure::kWrite ? "write failed"
                                                              : "close failed";
  Report(context, diskNumber, name, what, std::strerror(result.error));
}

// Screens `name` by its bytes, and reports it when it may not be written.
bool MayWrite(DiskContext& context, int diskNumber, const char* name) {
  const NameVerdict verdict = CheckOutputName(name);
  if (verdict != NameVerdict::kAccepted) {
    Report(context, diskNumber, name, "not written", DescribeVerdict(verdict));
    return false;
  }
  return true;
}

}  // namespace

void ExtractFiles(D88Image& image, DiskContext& context, int diskNumber, int entryCount) {
  // The data of track t lands at t * 5120 in either case; on the system disk
  // the first two tracks are a system area and are not read.
  const int dataStart = diskNumber == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  const int firstTrack = dataStart / kTrackSize;
  // What the read does not deliver reads as zero bytes, not as the previous
  // disk's data.
  std::memset(diskBuffer + dataStart, 0, kDiskBufferSize - dataStart);
  image.ReadSectors(firstTrack, firstTrack / 2, firstTrack % 2, 1, kSectorSizeCode,
                    diskBuffer + dataStart, kDiskBufferSize - dataStart);

  // `record` may run past the buffer on a hostile directory; it is an offset,
  // never a pointer, until it has been checked.
  long long record = dataStart;
  for (int k = 1; k <= entryCount; ++k) {
    const char* name = MakeFileName(k);
    const long long next = record + AllocationLength(k);
    if (record + record_header::kSize > kDiskBufferSize) {
      Report(context, diskNumber, name, "skipped",
             "its record header lies past the end of the disk");
      record = next;
      continue;
    }
    const std::uint8_t* header = diskBuffer + record;
    const int start = record_header::Start(header);
    const int end = record_header::End(header);
    const int size = end - start;
    std::printf("%-12s  %5d  START=%04x  END=%04x\n", name, size, start, end);

    if (size < 0) {
      Report(context, diskNumber, name, "not written",
             "its end address is below its start address");
    } else if (MayWrite(context, diskNumber, name)) {
      const long long dataOffset = record + record_header::kSize;
      const long long available = kDiskBufferSize - dataOffset;
      const int written = size <= available ? size : static_cast<int>(available);
      const WriteResult result =
          WriteOutputFile(name, diskBuffer + dataOffset, written, context.imagePath);
      if (result.failure == WriteFailure::kIsImage) {
        Report(context, diskNumber, name, "not written", "the name is the image file being read");
      } else if (result.failure != WriteFailure::kNone) {
        ReportWriteFailure(context, diskNumber, name, result);
      } else if (written < size) {
        char reason[96];
        std::snprintf(reason, sizeof reason,
                      "its data runs past the end of the disk; %d of %d bytes written", written,
                      size);
        Report(context, diskNumber, name, "truncated", reason);
      }
    }
    // The allocation length counts from the start of this record.
    record = next;
  }
}

bool ExtractAllDisks(D88Image& image, const NativePathChar* imagePath) {
  bool clean = true;
  const int count = image.GetDiskCount();
  for (int i = 0; i < count; ++i) {
    // A disk that cannot be selected reads as blank: its header line is
    // printed from zero bytes and no file follows.
    image.SelectDisk(i);
    DiskContext context{imagePath, i, false};
    const DirectoryInfo directory = ReadDirectory(image);
    ExtractFiles(image, context, directory.diskNumber, directory.entryCount);
    if (context.problem) clean = false;
  }
  return clean;
}
