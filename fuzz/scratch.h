// A private scratch area for one fuzzing process.
//
// The area is a fresh folder under $TMPDIR (or /tmp) that holds the folder
// "work" and the folder "outside", and nothing else. A target writes its
// image into "work" and may let the tool write its output files there; the
// area's own folder is watched, so that a file written outside "work"
// (through "..", a separator, a link or anything else) is caught after the
// input that wrote it.
//
// "work" can also be laid with traps under names a directory entry can
// spell: links into "outside" (to a file, and to nothing), a hard link to a
// file in "outside", a FIFO, a folder with a file in it, and a hard link and
// a symbolic link to the image. Whatever the tool does, what they lead to
// must stay as it was, and the FIFO must never be opened (the run would
// hang).
#ifndef D88UNPACK_FUZZ_SCRATCH_H
#define D88UNPACK_FUZZ_SCRATCH_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace d88fuzz {

// Creates the area once per process and returns the absolute path of its
// "work" folder. The area is removed when the process exits normally.
const std::string& ScratchWork();

// Makes the "work" folder the process's current folder, for a target that
// writes there by plain names. Corpus and artifact paths given to libFuzzer
// must then be absolute.
void EnterScratchWork();

// Writes `size` bytes to `path`; aborts when it cannot.
void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// Aborts unless the file at `path` holds exactly these bytes.
void ExpectFileContents(const std::string& path, const std::uint8_t* data, std::size_t size);

// The names of the traps, in "work".
constexpr const char* kTrapNames[] = {"LINK", "DANGLE", "HARD", "FIFO", "DIR", "IMG", "IMGLNK"};

// Lays the traps in "work", the image links leading to `imageName`.
void LayTraps(const char* imageName);

// Aborts if anything besides "work" and "outside" appeared in the area, if
// anything in "outside" changed, or if "work" holds anything but regular
// files, traps as they were laid, and folders of regular files; then empties
// "work" for the next input.
void CheckAndEmptyScratch();

// Prints a finding on standard error (as it was when the area was created)
// and aborts, which libFuzzer reports as a crash and saves the input for.
[[noreturn]] void Fail(const char* format, ...);

}  // namespace d88fuzz

#endif
