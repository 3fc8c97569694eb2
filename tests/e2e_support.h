// What the end-to-end tests share: the expected texts, the checks of a
// scratch folder, and a fixture that runs the tool on one image.
#ifndef D88UNPACK_TESTS_E2E_SUPPORT_H
#define D88UNPACK_TESTS_E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "run_tool.h"

namespace d88test {

constexpr std::size_t kDiskHeaderSize = d88::disk_header::kSize;
constexpr std::size_t kRecordedSectorSize = d88::sector_header::kSize + 1024;
// One track of the layout in a D88 file: five headers and 1024-byte sectors.
constexpr std::size_t kRecordedTrackSize = 5 * kRecordedSectorSize;

// "Cannot open the file" in Shift-JIS.
extern const std::string kCannotOpen;

Bytes Concat(Bytes a, const Bytes& b);

// The disk with its directory track recorded first, so that an image cut
// off inside the data area still has its directory.
Disk DirectoryFirst(const LayoutDisk& layout);

// The listing line of one file, for tests with many generated entries.
std::string ListingLine(const std::string& name, int start, int end);

// Every regular file directly in `folder`, with its bytes.
std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder);

// Compares the folder's files with `expected`, naming the file that differs
// instead of printing whole contents.
void ExpectFolderHolds(const std::filesystem::path& folder,
                       const std::map<std::string, Bytes>& expected);

// Everything below `folder`, by path relative to it ('/' between parts):
// each file with its bytes, each folder as "name/" and each symbolic link as
// "name@" (neither followed), both with no bytes.
std::map<std::string, Bytes> TreeOf(const std::filesystem::path& folder);

// The same comparison as ExpectFolderHolds, of the whole tree.
void ExpectTreeHolds(const std::filesystem::path& folder,
                     const std::map<std::string, Bytes>& expected);

// A line about disk `place` of the image as a whole: "d88unpack: IMAGE:
// disk N: TEXT", with its line end.
std::string DiskLine(int place, const std::string& text, const std::string& image = "disk.d88");

// The words after "no directory: " for a blank disk, and for one of the
// layout whose directory the image lacks from sector `sector` of track 83.
extern const char kBlank[];
std::string DirectoryLacking(int sector);

// Each kind of complaint the tool makes on standard error about an entry,
// with the exact text that follows the disk and the name (kComplaintTexts).
// The numbers of a truncated file, a disk's place and the system's reason
// for a failed create, write or close fill in the blanks.
enum class Why {
  kHeaderPastTheEnd,
  kEndBelowStart,
  kTruncated,
  kTruncatedListed,  // the same, when only listing
  kEmptyName,
  kDotName,
  kSlash,
  kBackslash,
  kColon,
  kReservedDevice,
  kNotCodePage932,
  kTrailingDot,
  kIsTheImage,
  kIsTheOutput,
  kIsTheErrorOutput,
  kDirectoryAtName,
  kReadOnlyAtName,
  kKeptOld,
  kNotAFolder,
  kCannotMakeFolder,
  kCannotCreate,
  kWriteFailed,
  kCloseFailed,
  kRecordMissing,
  kDataMissing,
  kDataMissingListed,
  kSalvaged,  // from one sector the image lacks
  kNulName,
  kWriteFailedOldRemoved,
  // Notes, not complaints: the entry replaced a file written for an earlier
  // entry of the same disk, or of another (`number`, `otherLetter`).
  kReplacesOfThisDisk,
  kReplacesOfDisk,
};

extern const std::map<Why, const char*> kComplaintTexts;

// One complaint expected on standard error: the disk's place in the image
// (from 1) and letter, and the file's name, both as the tool shows them
// (escaped), and why.
struct Complaint {
  int disk;
  std::string letter;
  std::string name;
  Why why;
  // kTruncated, kDataMissing: the bytes written (or, when listed, there)
  // and the file's size; kSalvaged: the bytes that are zeros and the bytes
  // written. A failed create, write or close: the errno whose text the
  // system gives as the reason. kNotAFolder: the disk's place;
  // kCannotMakeFolder: the disk's place and the errno. kReplacesOfDisk: the
  // other disk's place.
  int number = 0;
  int size = 0;
  // kRecordMissing, kDataMissing, kSalvaged: the sector the image lacks,
  // as track * 5 + sector number - 1.
  int sector = -1;
  std::string image = "disk.d88";
  std::string otherLetter = "";
};

// The line of a complaint, without its line end.
std::string ComplaintLine(const Complaint& c);

// Standard error holds exactly these complaints, in this order, about the
// image given (when not the default).
void ExpectComplaints(const std::string& err, const std::vector<Complaint>& expected,
                      const std::string& image = "");

// A scratch folder with the image in it, and the tool run there on it.
class Extraction : public ::testing::Test {
 protected:
  static constexpr const char* kImage = "disk.d88";

  ToolRun Run(const Bytes& bytes, const RunOptions& options = {}) {
    return RunWith(bytes, {kImage}, options);
  }

  // Runs the tool with `args`, which name the image as kImage.
  ToolRun RunWith(const Bytes& bytes, const std::vector<std::string>& args,
                  const RunOptions& options = {}) {
    image = bytes;
    dir.Put(kImage, image);
    return RunTool(dir.path(), args, options);
  }

  // The folder holds the untouched image and exactly `files`.
  void ExpectWritten(std::map<std::string, Bytes> files) const {
    files[kImage] = image;
    ExpectFolderHolds(dir.path(), files);
  }

  static void ExpectClean(const ToolRun& run, const std::string& out) {
    EXPECT_EQ(run.out, Lines(out));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
  }

  ScratchDir dir;
  Bytes image;
};

}  // namespace d88test

#endif
