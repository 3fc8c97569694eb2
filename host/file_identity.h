// What a file is, whatever names lead to it: the device and inode on POSIX
// hosts, the volume serial number and file index on Windows. The reader
// takes it of the image, and the writers of whatever stands at a name, so
// that the image is known under any name.
#ifndef D88UNPACK_HOST_FILE_IDENTITY_H
#define D88UNPACK_HOST_FILE_IDENTITY_H

#include <cstdint>

struct FileIdentity {
  std::uint64_t device;
  std::uint64_t file;
};

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.file == b.file;
}

#endif
