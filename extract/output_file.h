// Writing one extracted file into the output folder. The host's own calls
// are in write_posix.cpp and write_windows.cpp; what they do is the same.
//
// Nothing that already stands at a name is ever opened for writing: a new
// file is created exclusively, and a name that is taken has its old entry
// removed first, so that a link, a FIFO or a device at the name is replaced
// and whatever it led to is left untouched. The image being read, and the
// files the console streams go to, are known by their identity and never
// replaced, whatever name leads to them.
#ifndef D88UNPACK_EXTRACT_OUTPUT_FILE_H
#define D88UNPACK_EXTRACT_OUTPUT_FILE_H

#include <cstdint>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "file_identity.h"
#include "image_file.h"
#include "native_path.h"
#include "outcome.h"

// The files that an output file must never replace.
struct GuardedFiles {
  ImageIdentity image;  // none for an image in memory, which no name reaches
  FileIdentity output;  // where standard output goes, when that is a file
  FileIdentity errorOutput;
  bool hasOutput;
  bool hasErrorOutput;
};

// The guards for an image of this identity, with the files that the
// descriptors `output` and `errorOutput` (the run's standard output and
// error; -1: none) lead to added where they are regular files.
GuardedFiles GuardImageAndConsole(const ImageIdentity& image, int output, int errorOutput);

// Whether `identity` is the image's file.
inline bool IsImageFile(const FileIdentity& identity, const GuardedFiles& guarded) {
  return guarded.image.isFile && identity == guarded.image.file;
}

// Which guarded file `identity` is, or kNone.
inline EntryProblem GuardedAs(const FileIdentity& identity, const GuardedFiles& guarded) {
  if (IsImageFile(identity, guarded)) return EntryProblem::kNameIsImage;
  if (guarded.hasOutput && identity == guarded.output) return EntryProblem::kNameIsOutput;
  if (guarded.hasErrorOutput && identity == guarded.errorOutput) {
    return EntryProblem::kNameIsErrorOutput;
  }
  return EntryProblem::kNone;
}

// The folder that files are written into: the current directory until Open
// or OpenChild gives another.
class OutputFolder {
 public:
  OutputFolder() = default;
  ~OutputFolder() { Close(); }
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Takes the existing folder at `path`. Returns 0, or the system's errno
  // (ENOTDIR for anything but a folder).
  int Open(const NativePathChar* path);
  // Makes the folder `name` inside `parent` unless it is there, and takes
  // it. Anything but a folder at the name, a link to one included, is
  // refused with ENOTDIR: nothing is ever written through a link.
  int OpenChild(const OutputFolder& parent, const char* name);
  // Back to the current directory.
  void Close();
  // False until Open or OpenChild succeeds.
  bool IsOpen() const { return isOpen; }
  // Whether two different names in the folder are always two files, as
  // the file systems known to compare names byte for byte make them; false
  // where that cannot be told. Asked once for each folder taken.
  bool NamesAreExact() const;

#ifdef _WIN32
  // The folder's path, or null for the current directory.
  const wchar_t* GetPrefix() const {
    return isOpen ? prefix : nullptr;
  }
#else
  // A handle on the folder for the *at calls, or AT_FDCWD.
  int GetHandle() const {
    return handle;
  }
#endif

 private:
  bool isOpen = false;
  mutable signed char exactNames = -1;  // not asked yet
#ifdef _WIN32
  wchar_t prefix[4096] = {};
#else
  int handle = AT_FDCWD;
#endif
};

struct WriteResult {
  EntryProblem problem;  // kNone when the file was written
  int error;             // the system's errno for the failing step
  // A file stood at the name and was removed to make room (also when the
  // new file then failed): what it was.
  bool oldRemoved;
  FileIdentity old;
  // The new file, when it was written, where its folder's names are not
  // exact (elsewhere its name tells it, and its identity is not asked).
  bool identified;
  FileIdentity created;
};

// Creates `name` in `folder` and writes `size` bytes of `data` to it. What
// already stands at the name is replaced, never written through, unless it
// is a guarded file, a directory or (on Windows) a read-only file; with
// `keepOld`, nothing that stands there is replaced (kKeptOld). A file whose
// data could not be written in full is removed again: no part of a file is
// left at the name.
WriteResult WriteOutputFile(const OutputFolder& folder, const char* name, const std::uint8_t* data,
                            int size, const GuardedFiles& guarded, bool keepOld);

#endif
