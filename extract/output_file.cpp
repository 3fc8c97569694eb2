#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

std::FILE* CreateForWriting(const char* name) { return std::fopen(name, "wb"); }

}  // namespace

NameVerdict CheckOutputName(const char* name) {
  if (name[0] == 0) return NameVerdict::kEmpty;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return NameVerdict::kDotOrDotDot;
  }
  if (std::strchr(name, '/') != nullptr) return NameVerdict::kSlash;
  if (kWindowsNames) {
    if (std::strchr(name, '\\') != nullptr) return NameVerdict::kBackslash;
    if (std::strchr(name, ':') != nullptr) return NameVerdict::kColon;
  }
  return NameVerdict::kAccepted;
}

const char* DescribeVerdict(NameVerdict verdict) {
  switch (verdict) {
    case NameVerdict::kAccepted:
      return "accepted";
    case NameVerdict::kEmpty:
      return "the name is empty";
    case NameVerdict::kDotOrDotDot:
      return "the name is '.' or '..'";
    case NameVerdict::kSlash:
      return "the name contains '/'";
    case NameVerdict::kBackslash:
      return "the name contains '\\'";
    case NameVerdict::kColon:
      return "the name contains ':'";
    case NameVerdict::kReservedDevice:
      return "the name is a reserved device name";
    case NameVerdict::kNotCodePage932:
      return "the name is not valid code page 932 text";
  }
  return "the name is refused";
}

bool NamesImageFile(const char* name, const NativePathChar* imagePath) {
  if (imagePath == nullptr) return false;
  // Compare the files themselves, not the spellings: "./disk.d88", an
  // absolute path, a link or a different case on a case-blind file system
  // all name the same file. A name that does not exist yet is not the image.
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::path(name),
                                     std::filesystem::path(imagePath), error) &&
         !error;
}

WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, int size) {
  errno = 0;
  std::FILE* file = CreateForWriting(name);
  if (file == nullptr) return WriteResult{WriteFailure::kCreate, errno};
  const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
  if (wanted > 0 && std::fwrite(data, 1, wanted, file) != wanted) {
    const int error = errno;
    std::fclose(file);
    return WriteResult{WriteFailure::kWrite, error};
  }
  // Buffered data reaches the file only on close: a full disk shows here.
  errno = 0;
  if (std::fclose(file) != 0) return WriteResult{WriteFailure::kClose, errno};
  return WriteResult{WriteFailure::kNone, 0};
}
