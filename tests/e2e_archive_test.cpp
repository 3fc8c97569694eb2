// Images read from standard input, from compressed files and from archives.
// The compressed files and the archives are written here with libarchive.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"

using namespace d88test;

namespace {

using Members = std::vector<std::pair<std::string, Bytes>>;

la_ssize_t Append(struct archive*, void* bytes, const void* data, size_t size) {
  auto* out = static_cast<Bytes*>(bytes);
  const auto* from = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), from, from + size);
  return static_cast<la_ssize_t>(size);
}

// The members (a name ending in '/' is a folder) in an archive of `format`,
// compressed as a whole by `filter`; ARCHIVE_FORMAT_RAW with one member is
// that member compressed.
Bytes Written(int format, int filter, const Members& members) {
  Bytes out;
  struct archive* a = archive_write_new();
  EXPECT_EQ(archive_write_set_format(a, format), ARCHIVE_OK) << archive_error_string(a);
  EXPECT_EQ(archive_write_add_filter(a, filter), ARCHIVE_OK) << archive_error_string(a);
  // Archives end where their data does, unpadded.
  archive_write_set_bytes_in_last_block(a, 1);
  EXPECT_EQ(archive_write_open(a, &out, nullptr, Append, nullptr), ARCHIVE_OK);
  for (const auto& [name, bytes] : members) {
    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    const bool folder = name.back() == '/';
    archive_entry_set_filetype(entry, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
    EXPECT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << archive_error_string(a);
    if (!bytes.empty()) archive_write_data(a, bytes.data(), bytes.size());
    archive_entry_free(entry);
  }
  EXPECT_EQ(archive_write_close(a), ARCHIVE_OK) << archive_error_string(a);
  archive_write_free(a);
  return out;
}

Bytes Compressed(int filter, const Bytes& content) {
  return Written(ARCHIVE_FORMAT_RAW, filter, {{"data", content}});
}

// An LHA archive of stored (-lh0-) members, which libarchive reads but does
// not write: level-0 headers, each a size, a checksum of the bytes after
// the first two, the method, the sizes, a time, attributes, the level, the
// name and the data's CRC-16.
Bytes Lha(const Members& members, const char* method = "-lh0-") {
  Bytes out;
  for (const auto& [name, data] : members) {
    std::uint16_t crc = 0;
    for (const std::uint8_t byte : data) {
      crc ^= byte;
      for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    Bytes header = TextBytes(method);
    for (int i = 0; i < 2; ++i) {  // the stored size, then the original size
      for (int b = 0; b < 4; ++b) header.push_back(static_cast<std::uint8_t>(data.size() >> 8 * b));
    }
    for (const std::uint8_t byte : {0x00, 0x00, 0x21, 0x52, 0x20, 0x00}) header.push_back(byte);
    header.push_back(static_cast<std::uint8_t>(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    header.push_back(static_cast<std::uint8_t>(crc));
    header.push_back(static_cast<std::uint8_t>(crc >> 8));
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : header) sum = static_cast<std::uint8_t>(sum + byte);
    out.push_back(static_cast<std::uint8_t>(header.size()));
    out.push_back(sum);
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
  }
  out.push_back(0);  // the end of the archive
  return out;
}

// Side 1 holds disks B and C, side 2 disk D.
const Bytes& Side1() {
  static const Bytes bytes = ImageOf({DataDisk(1, {File("ONE", "TXT", 0, TextBytes("one"))}),
                                      DataDisk(2, {File("TWO", "TXT", 0x10, TextBytes("two"))})});
  return bytes;
}
const Bytes& Side2() {
  static const Bytes bytes = ImageOf({DataDisk(3, {File("THREE", "TXT", 0, TextBytes("three"))})});
  return bytes;
}

Bytes Readme() {
  std::string text;
  while (text.size() < 3000) text += "This is a README, not a disk image.\n";
  return TextBytes(text);
}

const std::string kSide1Listing =
    "[Disk B]\n" + ListingLine("ONE.TXT", 0, 3) + "[Disk C]\n" + ListingLine("TWO.TXT", 0x10, 0x13);
const std::string kSide2Listing = "[Disk D]\n" + ListingLine("THREE.TXT", 0, 5);
const Tree kSide1Files = {{"ONE.TXT", TextBytes("one")}, {"TWO.TXT", TextBytes("two")}};
const Tree kAllFiles = Merge(kSide1Files, {{"THREE.TXT", TextBytes("three")}});

std::string ReadmeSkipped(const std::string& image) {
  return "d88unpack: " + image +
         ":docs/readme.txt: not a D88 image (track 1 of its first disk starts at byte "
         "1936287828, past the disk's end at byte 1634560288); skipped\n";
}

RunOptions FromStdin(bool pipe = false) {
  RunOptions options;
  options.stdinPath = kImage;
  options.stdinPipe = pipe;
  return options;
}

}  // namespace

TEST(StandardInput, IsReadAsTheImage) {
  const Bytes image = Concat(Side1(), Side2());
  const std::string listing = kSide1Listing + kSide2Listing;
  RunRows(
      image,
      {{{"-l", "-"}, listing, "", {}, nullptr, FromStdin()},
       {{"-"}, listing, "", kAllFiles, nullptr, FromStdin(true)},
       {{"-D", "-d", "3", "-C", "out", "-"},
        kSide2Listing,
        "",
        In("out", In("disk03", {{"THREE.TXT", TextBytes("three")}})),
        Folder("out"),
        FromStdin(true)},
       {{"-O", "-", "TWO.TXT"}, "two", "", {}, nullptr, FromStdin(true)},
       {{"--json", "-", "THREE.TXT"},
        R"json({"type":"disk","image":"-","member":null,"disk":1,"number":1,"letter":"B","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
{"type":"disk","image":"-","member":null,"disk":2,"number":2,"letter":"C","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
{"type":"disk","image":"-","member":null,"disk":3,"number":3,"letter":"D","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"-","member":null,"disk":3,"name":"THREE.TXT","name_bytes":"54485245452e545854","size":5,"start":0,"end":5,"allocation":9,"status":"written","path":"THREE.TXT"}
)json",
        "",
        {{"THREE.TXT", TextBytes("three")}},
        nullptr,
        FromStdin(true)}});
  // Messages name it "standard input".
  RunRows(Readme(), {{{"-l", "-"},
                      "",
                      "d88unpack: standard input: not a D88 image (track 1 of its first disk "
                      "starts at byte 1936287828, past the disk's end at byte 1634560288)\n",
                      {},
                      nullptr,
                      FromStdin(true)}});
  RunRows(Concat(Side2(), Bytes(100, 0)),
          {{{"-l", "-"},
            kSide2Listing,
            "d88unpack: standard input: the image ends inside the header of disk 2 (100 of 688 "
            "bytes); that disk is not read\n",
            {},
            nullptr,
            FromStdin(true)}});
  // Nothing at all is an image of no disks, as an empty file is.
  RunRows({}, {{{"-"}, "", "", {}, nullptr, FromStdin(true)}});
}

TEST(StandardInput, HasABound) {
  // 128 MiB and a byte, of which only the bound is ever read.
  ScratchDir dir;
  dir.Put(kImage, Side2());
  std::filesystem::resize_file(dir.path() / kImage, (std::uintmax_t{128} << 20) + 1);
  const ToolRun run = RunTool(dir.path(), {"-l", "-"}, FromStdin(true));
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, Lines("d88unpack: standard input: holds more than 128 MiB, the most an "
                           "image is read to\n"));
  EXPECT_EQ(run.status, 1);
}

TEST(PosixArchives, ACompressedImageIsItsContent) {
  const Bytes image = Concat(Side1(), Side2());
  const std::string listing = kSide1Listing + kSide2Listing;
  for (const int filter :
       {ARCHIVE_FILTER_GZIP, ARCHIVE_FILTER_BZIP2, ARCHIVE_FILTER_XZ, ARCHIVE_FILTER_ZSTD}) {
    SCOPED_TRACE(filter);
    RunRows(Compressed(filter, image), {{{"-l", kImage}, listing},
                                        {{"-d", "2", "-D", kImage},
                                         "[Disk C]\n" + ListingLine("TWO.TXT", 0x10, 0x13),
                                         "",
                                         In("disk02", {{"TWO.TXT", TextBytes("two")}})},
                                        {{"-l", "-"}, listing, "", {}, nullptr, FromStdin(true)}});
  }
  RunRows(
      Compressed(ARCHIVE_FILTER_GZIP, Side2()),
      {{{"--json", "-l", kImage},
        R"json({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":3,"letter":"D","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":null,"disk":1,"name":"THREE.TXT","name_bytes":"54485245452e545854","size":5,"start":0,"end":5,"allocation":9,"status":"listed","path":null}
)json"}});
  // Its content is judged as a plain image's would be.
  RunRows(Compressed(ARCHIVE_FILTER_GZIP, Readme()),
          {{{"-l", kImage},
            "",
            ImageLine("not a D88 image (track 1 of its first disk starts at byte 1936287828, past "
                      "the disk's end at byte 1634560288)")}});
}

TEST(PosixArchives, MembersThatAreImagesAreReadAsOne) {
  const Members members = {
      {"side1.d88", Side1()}, {"docs/", {}}, {"docs/readme.txt", Readme()}, {"side2.d88", Side2()}};
  const std::string listing = kSide1Listing + kSide2Listing;
  const struct {
    const char* label;
    Bytes archive;
  } archives[] = {
      {"zip", Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, members)},
      {"tar.gz", Written(ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_GZIP, members)},
  };
  for (const auto& a : archives) {
    SCOPED_TRACE(a.label);
    RunRows(
        a.archive,
        {{{"-l", kImage}, listing, ReadmeSkipped("disk.d88")},
         {{kImage}, listing, ReadmeSkipped("disk.d88"), kAllFiles},
         {{"-D", kImage},
          listing,
          ReadmeSkipped("disk.d88"),
          Merge(In("disk01", {{"ONE.TXT", TextBytes("one")}}),
                Merge(In("disk02", {{"TWO.TXT", TextBytes("two")}}),
                      In("disk03", {{"THREE.TXT", TextBytes("three")}})))},
         {{"-d", "3", kImage},
          kSide2Listing,
          ReadmeSkipped("disk.d88"),
          {{"THREE.TXT", TextBytes("three")}}},
         {{"-l", "-d", "4", "-d", "2", kImage},
          "[Disk C]\n" + ListingLine("TWO.TXT", 0x10, 0x13),
          ReadmeSkipped("disk.d88") + ImageLine("disk 4: the image holds 3 disks")},
         {{"--json", "-l", "-d", "2", "-d", "3", kImage},
          R"json({"type":"disk","image":"disk.d88","member":"side1.d88","disk":2,"number":2,"letter":"C","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":"side1.d88","disk":2,"name":"TWO.TXT","name_bytes":"54574f2e545854","size":3,"start":16,"end":19,"allocation":7,"status":"listed","path":null}
{"type":"disk","image":"disk.d88","member":"side2.d88","disk":3,"number":3,"letter":"D","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":"side2.d88","disk":3,"name":"THREE.TXT","name_bytes":"54485245452e545854","size":5,"start":0,"end":5,"allocation":9,"status":"listed","path":null}
)json",
          ReadmeSkipped("disk.d88")},
         {{"-l", "-"}, listing, ReadmeSkipped("standard input"), {}, nullptr, FromStdin(true)}});
  }
  // A message about a disk names its member.
  RunRows(Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE,
                  {{"side2.d88", Side2()}, {"cut.d88", Concat(Side2(), Bytes(10, 0))}}),
          {{{"-l", kImage},
            kSide2Listing + kSide2Listing,
            "d88unpack: disk.d88:cut.d88: the image ends inside the header of disk 3 (10 of 688 "
            "bytes); that disk is not read\n"}});
}

TEST(PosixArchives, MemberNamesAreShownAsText) {
  // "Disk" in Japanese, once as UTF-8 and once as code page 932: JSON gives
  // both as the same text; messages show the bytes outside ASCII escaped.
  const std::string utf8 = "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF.d88";
  const std::string cp932 = "\x83\x66\x83\x42\x83\x58\x83\x4E.d88";
  const std::string disk =
      R"({"type":"disk","image":"disk.d88","member":")" + utf8 +
      R"(","disk":1,"number":3,"letter":"D","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null}
)";
  const std::string file =
      R"({"type":"file","image":"disk.d88","member":")" + utf8 +
      R"(","disk":1,"name":"THREE.TXT","name_bytes":"54485245452e545854","size":5,"start":0,"end":5,"allocation":9,"status":"listed","path":null}
)";
  const auto place = [](std::string line) {
    return line.replace(line.find("\"disk\":1"), 8, "\"disk\":2");
  };
  RunRows(Written(ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_NONE,
                  {{utf8, Side2()}, {cp932, Side2()}, {cp932 + ".txt", Readme()}}),
          {{{"--json", "-l", kImage},
            disk + file + place(disk) + place(file),
            "d88unpack: disk.d88:\\x83f\\x83B\\x83X\\x83N.d88.txt: not a D88 image (track 1 of "
            "its first disk starts at byte 1936287828, past the disk's end at byte 1634560288); "
            "skipped\n"}});
}

TEST(PosixArchives, EachFormat) {
  const struct {
    const char* label;
    Bytes archive;
  } archives[] = {
      {"7z", Written(ARCHIVE_FORMAT_7ZIP, ARCHIVE_FILTER_NONE, {{"side2.d88", Side2()}})},
      {"lha", Lha({{"side2.d88", Side2()}})},
      {"lha of another maker", Lha({{"side2.d88", Side2()}}, "-lz4-")},
      {"tar", Written(ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_NONE, {{"side2.d88", Side2()}})},
      {"tar.xz", Written(ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_XZ, {{"side2.d88", Side2()}})},
  };
  for (const auto& a : archives) {
    SCOPED_TRACE(a.label);
    RunRows(a.archive, {{{"-l", kImage}, kSide2Listing}});
  }
}

TEST(PosixArchives, WithoutAnImage) {
  RunRows(Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, {{"docs/readme.txt", Readme()}}),
          {{{"-l", kImage}, "", ReadmeSkipped("disk.d88") + ImageLine("holds no D88 image")}});
  RunRows(Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, {}),
          {{{"-l", kImage}, "", ImageLine("holds no D88 image")}});
  // A member too short for a disk header is no image either.
  RunRows(Written(ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_NONE, {{"short.d88", Bytes(100, 0)}}),
          {{{"-l", kImage},
            "",
            "d88unpack: disk.d88:short.d88: not a D88 image (it is shorter than a disk header); "
            "skipped\n" +
                ImageLine("holds no D88 image")}});
}

TEST(PosixArchives, AnImageWhoseNameLooksLikeASignatureIsAnImage) {
  // A disk named as a zip archive begins.
  LayoutDisk layout = DataDisk(3, {File("THREE", "TXT", 0, TextBytes("three"))}, "PK\x03\x04NAME");
  RunRows(ImageOf({layout}), {{{"-l", kImage}, kSide2Listing}});
}

TEST(PosixArchives, AMemberHasABound) {
  // 128 MiB and a byte, passed over; the next member is read all the same.
  const Bytes big((std::size_t{128} << 20) + 1, 0xE5);
  RunRows(
      Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, {{"big.d88", big}, {"side2.d88", Side2()}}),
      {{{"-l", kImage},
        kSide2Listing,
        "d88unpack: disk.d88:big.d88: holds more than 128 MiB, the most an image is read to; "
        "not read\n"}});
  RunRows(Compressed(ARCHIVE_FILTER_GZIP, big),
          {{{"-l", kImage},
            "",
            ImageLine("holds more than 128 MiB, the most an image is read to; not read")}});
}

TEST(PosixArchives, ADamagedArchiveIsReported) {
  Bytes cut = Written(ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_GZIP, {{"side2.d88", Side2()}});
  cut.resize(cut.size() / 2);
  ScratchDir dir;
  dir.Put(kImage, cut);
  const ToolRun run = RunTool(dir.path(), {"-l", kImage});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("d88unpack: disk.d88:side2.d88: cannot read the archive: ", 0), 0u)
      << run.err;
  EXPECT_EQ(run.status, 1);
}

TEST(PosixArchives, PackRefusesThem) {
  const Bytes zip = Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, {{"side2.d88", Side2()}});
  const Bytes gz = Compressed(ARCHIVE_FILTER_GZIP, Side2());
  // Shorter than a disk header, and so of no disk at all.
  const Bytes small = Compressed(ARCHIVE_FILTER_GZIP, TextBytes("short"));
  ASSERT_LT(small.size(), kDiskHeaderSize);
  // A zip of no members is its end record alone; a file of gzip's
  // signature alone is still one.
  const Bytes emptyZip = Written(ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, {});
  const Bytes signature = {0x1F, 0x8B};
  const char* const compressed =
      "is a compressed file, not a D88 image; d88pack writes plain images only: decompress it "
      "and give the image";
  const char* const archive =
      "is an archive, not a D88 image; d88pack writes plain images only: take the image out of "
      "it and give that";
  for (const auto& [bytes, why] : {std::pair{zip, archive},
                                   {emptyZip, archive},
                                   {gz, compressed},
                                   {small, compressed},
                                   {signature, compressed}}) {
    ScratchDir dir;
    dir.Put(kImage, bytes);
    dir.Put("NEW.TXT", TextBytes("new"));
    const ToolRun run = RunPack(dir.path(), {kImage, "NEW.TXT"});
    EXPECT_EQ(run.err, Lines("d88pack: disk.d88: " + std::string(why) + "\n"));
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(dir.path(), {{kImage, bytes}, {"NEW.TXT", TextBytes("new")}});
  }
  ScratchDir dir;
  const ToolRun run = RunPack(dir.path(), {"-c", "-", "NEW.TXT"});
  EXPECT_EQ(run.err.rfind("d88pack: the image cannot be standard input: a new image takes the "
                          "place of the old one; give its path (./- for a file of that name)\n",
                          0),
            0u)
      << run.err;
  EXPECT_EQ(run.status, 1);
}
