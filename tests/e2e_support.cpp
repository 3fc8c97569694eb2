#include "e2e_support.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace d88test {
namespace fs = std::filesystem;

const std::string kCannotOpen =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1";

Disk DirectoryFirst(const LayoutDisk& layout) {
  const Disk clean = MakeLayoutDisk(layout);
  Disk disk;
  disk.tracks[0] = clean.tracks.at(83);
  disk.trackOffsetOverrides[83] = kDiskHeaderSize;
  for (int t = 0; t < 83; ++t) {
    disk.tracks[t + 1] = clean.tracks.at(t);
    disk.trackOffsetOverrides[t] =
        static_cast<std::uint32_t>(kDiskHeaderSize + (t + 1) * kRecordedTrackSize);
  }
  return disk;
}

std::string ListingLine(const std::string& name, int start, int end) {
  char line[64];
  std::snprintf(line, sizeof line, "%-12s  %5d  START=%04x  END=%04x\n", name.c_str(), end - start,
                start, end);
  return line;
}

Tree TreeOf(const fs::path& folder) {
  Tree tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    if (entry.is_symlink()) {
      tree[name + "@"] = {};
    } else if (entry.is_directory()) {
      tree[name + "/"] = {};
    } else {
      tree[name] = ReadBytes(entry.path().string());
    }
  }
  return tree;
}

void ExpectTreeHolds(const fs::path& folder, const Tree& expected) {
  const Tree actual = TreeOf(folder);
  std::vector<std::string> actualNames;
  std::vector<std::string> expectedNames;
  for (const auto& entry : actual) actualNames.push_back(entry.first);
  for (const auto& entry : expected) expectedNames.push_back(entry.first);
  EXPECT_EQ(actualNames, expectedNames);
  for (const auto& [name, bytes] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) continue;
    EXPECT_TRUE(found->second == bytes)
        << name << ": " << found->second.size() << " bytes, expected " << bytes.size();
  }
}

std::string DiskLine(int place, const std::string& text, const std::string& image) {
  return "d88unpack: " + image + ": disk " + std::to_string(place) + ": " + text + "\n";
}

std::string ImageLine(const std::string& text) {
  return "d88unpack: disk.d88: " + text + "\n";
}

const char kBlank[] = "no directory: the disk is blank (it has no tracks)";

std::string DirectoryLacking(int sector) {
  return "no directory: the image does not hold track 83 sector " + std::to_string(sector) +
         " in full, where the directory lies";
}

namespace {

// The text of each complaint, where {number}, {size}, {place} (the number
// in two digits), {letter}, {error} (the system's text for errno `number`)
// and the {track} and {sector} the image lacks stand for the complaint's
// fields.
const std::map<Why, const char*> kComplaintTexts = {
    {Why::kHeaderPastTheEnd, "skipped: its record header lies past the end of the disk"},
    {Why::kEndBelowStart, "not written: its end address is below its start address"},
    {Why::kTruncated,
     "truncated: its data runs past the end of the disk; {number} of {size} bytes written"},
    {Why::kTruncatedListed,
     "truncated: its data runs past the end of the disk; {number} of {size} bytes readable"},
    {Why::kEmptyName, "not written: the name is empty"},
    {Why::kDotName, "not written: the name is '.' or '..'"},
    {Why::kSlash, "not written: the name contains '/'"},
    {Why::kBackslash, "not written: the name contains '\\'"},
    {Why::kColon, "not written: the name contains ':'"},
    {Why::kReservedDevice, "not written: the name is a reserved device name"},
    {Why::kNotCodePage932, "not written: the name is not valid code page 932 text"},
    {Why::kTrailingDot, "not written: the name ends in '.' or a space"},
    {Why::kIsTheImage, "not written: the name is the image file being read"},
    {Why::kIsTheOutput, "not written: the name is the file that standard output goes to"},
    {Why::kIsTheErrorOutput, "not written: the name is the file that standard error goes to"},
    {Why::kDirectoryAtName, "not written: a directory stands at the name"},
    {Why::kReadOnlyAtName, "not written: a read-only file stands at the name"},
    {Why::kKeptOld, "not written: a file of that name exists, and old files are kept"},
    {Why::kNotAFolder, "not written: something that is not a folder stands at disk{place}"},
    {Why::kWriteFailed, "write failed: {error}"},
    {Why::kRecordMissing,
     "not written: its record header lies in track {track} sector {sector}, which the image "
     "does not hold in full"},
    {Why::kDataMissing,
     "truncated: its data runs into track {track} sector {sector}, which the image does not "
     "hold in full; {number} of {size} bytes written"},
    {Why::kDataMissingListed,
     "truncated: its data runs into track {track} sector {sector}, which the image does not "
     "hold in full; {number} of {size} bytes readable"},
    {Why::kSalvaged,
     "salvaged: {number} of {size} bytes written as zeros, where the image does not hold track "
     "{track} sector {sector} in full"},
    {Why::kNulName, "not written: the name holds a NUL byte"},
    {Why::kReplacesOfThisDisk, "replaces the file written for an earlier entry of this disk"},
    {Why::kReplacesOfDisk,
     "replaces the file written for disk {number} ({letter}); -D keeps each disk's files apart"},
};

}  // namespace

// The system's reason is the host's text for the errno; the Windows runtime
// words the ones these tests meet the same way.
std::string Says(const Complaint& c) {
  char place[16];
  std::snprintf(place, sizeof place, "%02d", c.number);
  const std::pair<std::string, std::string> fields[] = {
      {"{number}", std::to_string(c.number)},
      {"{size}", std::to_string(c.size)},
      {"{place}", place},
      {"{letter}", c.otherLetter},
      {"{error}", std::strerror(c.number)},
      {"{track}", std::to_string(c.sector / 5)},
      {"{sector}", std::to_string(c.sector % 5 + 1)}};
  std::string text = kComplaintTexts.at(c.why);
  for (const auto& [field, value] : fields) {
    for (std::size_t at = 0; (at = text.find(field, at)) != std::string::npos; at += value.size()) {
      text.replace(at, field.size(), value);
    }
  }
  return "d88unpack: " + c.image + ": disk " + std::to_string(c.disk) + " (" + c.letter + "): \"" +
         c.name + "\": " + text + "\n";
}

void ExpectComplaints(const std::string& err, const std::vector<Complaint>& expected,
                      const std::string& image) {
  std::string lines;
  for (Complaint c : expected) {
    if (!image.empty()) c.image = image;
    lines += Says(c);
  }
  EXPECT_EQ(err, Lines(lines));
}

Prepare Folder(const std::string& name) {
  return [name](const fs::path& dir) { fs::create_directories(dir / name); };
}

Prepare FileAt(const std::string& name, const std::string& text) {
  return [=](const fs::path& dir) { WriteBytes((dir / name).string(), TextBytes(text)); };
}

Tree In(const std::string& folder, const Tree& files, Tree tree) {
  tree[folder + "/"] = {};
  for (const auto& [name, bytes] : files) tree[folder + "/" + name] = bytes;
  return tree;
}

Tree Merge(Tree tree, const Tree& later) {
  for (const auto& [name, bytes] : later) tree[name] = bytes;
  return tree;
}

std::vector<std::string> Args(std::vector<std::string> first,
                              const std::vector<std::string>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

namespace {

// Whether standard error holds a complaint: a line that is not a note, of
// an entry that replaced a file written for an earlier one or of an
// archive member skipped.
bool Complains(const std::string& err) {
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = err.find('\n', at)) != std::string::npos; ++at) ++lines;
  std::size_t notes = 0;
  for (const char* note : {": replaces the file written for ", "; skipped\n"}) {
    for (std::size_t at = 0; (at = err.find(note, at)) != std::string::npos; ++at) ++notes;
  }
  return lines > notes;
}

}  // namespace

void RunRows(const Bytes& image, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    std::string label;
    for (const std::string& arg : row.args) label += arg + ' ';
    SCOPED_TRACE(label.size() > 80 ? label.substr(0, 80) + "..." : label);
    ScratchDir dir;
    dir.Put(kImage, image);
    if (row.before) row.before(dir.path());
    const ToolRun run = RunTool(dir.path(), row.args, row.options);
    // Rows of -O give it first: the data goes out as it stands.
    const bool data = !row.args.empty() && (row.args[0] == "-O" || row.args[0] == "--to-stdout");
    EXPECT_EQ(run.out, data ? row.out : Lines(row.out));
    EXPECT_EQ(run.err, Lines(row.err));
    EXPECT_EQ(run.status, row.status >= 0 ? row.status : Complains(row.err) ? 1 : 0);
    Tree tree = row.tree;
    tree.emplace(kImage, image);  // unless the row says what became of it
    ExpectTreeHolds(dir.path(), tree);
  }
}

}  // namespace d88test
