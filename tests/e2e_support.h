// What the end-to-end tests share: the expected texts, the checks of a
// scratch folder, and a fixture that runs the tool on one image.
#ifndef D88UNPACK_TESTS_E2E_SUPPORT_H
#define D88UNPACK_TESTS_E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <functional>
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

// The disk with its directory track recorded first, so that an image cut
// off inside the data area still has its directory.
Disk DirectoryFirst(const LayoutDisk& layout);

// The listing line of one file, for tests with many generated entries.
std::string ListingLine(const std::string& name, int start, int end);

using Tree = std::map<std::string, Bytes>;

// Everything below `folder`, by path relative to it ('/' between parts):
// each file with its bytes, each folder as "name/" and each symbolic link as
// "name@" (neither followed), both with no bytes.
Tree TreeOf(const std::filesystem::path& folder);

// Compares the tree below `folder` with `expected`, naming the file that
// differs instead of printing whole contents.
void ExpectTreeHolds(const std::filesystem::path& folder, const Tree& expected);

// A line about disk `place` of the image as a whole: "d88unpack: IMAGE:
// disk N: TEXT", with its line end.
std::string DiskLine(int place, const std::string& text, const std::string& image = "disk.d88");

// A line about the image as a whole: "d88unpack: disk.d88: TEXT", with its
// line end.
std::string ImageLine(const std::string& text);

// The words after "no directory: " for a blank disk, and for one of the
// layout whose directory the image lacks from sector `sector` of track 83.
extern const char kBlank[];
std::string DirectoryLacking(int sector);

// Each kind of complaint the tool makes on standard error about an entry,
// whose exact text follows the disk and the name. The numbers of a
// truncated file, a disk's place and the system's reason for a failed write
// fill in its blanks.
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
  kWriteFailed,
  kRecordMissing,
  kDataMissing,
  kDataMissingListed,
  kSalvaged,  // from one sector the image lacks
  kNulName,
  // Notes, not complaints: the entry replaced a file written for an earlier
  // entry of the same disk, or of another (`number`, `otherLetter`).
  kReplacesOfThisDisk,
  kReplacesOfDisk,
};

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
  // written. kWriteFailed: the errno whose text the system gives as the
  // reason. kNotAFolder: the disk's place. kReplacesOfDisk: the other
  // disk's place.
  int number = 0;
  int size = 0;
  // kRecordMissing, kDataMissing, kSalvaged: the sector the image lacks,
  // as track * 5 + sector number - 1.
  int sector = -1;
  std::string image = "disk.d88";
  std::string otherLetter = "";
};

// The line of a complaint, with its line end.
std::string Says(const Complaint& c);

// Standard error holds exactly these complaints, in this order, about the
// image given (when not the default).
void ExpectComplaints(const std::string& err, const std::vector<Complaint>& expected,
                      const std::string& image = "");

constexpr char kImage[] = "disk.d88";

// What stands in a scratch folder before a run.
using Prepare = std::function<void(const std::filesystem::path&)>;
Prepare Folder(const std::string& name);
Prepare FileAt(const std::string& name, const std::string& text);

// `files` inside `folder`, the folder itself included, added to `tree`.
Tree In(const std::string& folder, const Tree& files, Tree tree = {});
Tree Merge(Tree tree, const Tree& later);
std::vector<std::string> Args(std::vector<std::string> first, const std::vector<std::string>& then);

// One run of the tool in a fresh folder that holds the image as kImage.
struct Row {
  std::vector<std::string> args;
  std::string out;           // console text; with -O first, the exact bytes
  std::string err = "";      // the status is 1 with any complaint, else 0 (notes aside)
  Tree tree = {};            // the folder afterwards; the image as it was unless given
  Prepare before = nullptr;  // what stands in the folder before the run
  RunOptions options = {};
  int status = -1;  // when not as `err` says
};

// Runs each row on `image` and compares standard output, standard error, the
// exit status and the whole folder afterwards.
void RunRows(const Bytes& image, const std::vector<Row>& rows);

}  // namespace d88test

#endif
