#include "manifest_line.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <cstdio>
#include <cstring>

namespace {

using Pool = rapidjson::MemoryPoolAllocator<>;
using Document = rapidjson::GenericDocument<rapidjson::UTF8<>, Pool, Pool>;
using Value = Document::ValueType;

// The parser's work areas: in these fixed buffers for any line of the
// length read (the allocator takes more from the heap only past them).

bool Bad(ManifestLine& line, const char* format, const char* key = "") {
  line.kind = LineKind::kBad;
  std::snprintf(line.why, sizeof line.why, format, key);
  return false;
}

// A number from `low` to `high`; where `nullable`, null or no key gives
// `absent`.
bool GetNumber(const Value& object, const char* key, int low, int high, ManifestLine& line,
               int& out, bool nullable = false, int absent = 0) {
  const auto member = object.FindMember(key);
  if (nullable && (member == object.MemberEnd() || member->value.IsNull())) {
    out = absent;
    return true;
  }
  if (member == object.MemberEnd()) return Bad(line, "\"%s\" is missing", key);
  if (!member->value.IsInt() || member->value.GetInt() < low || member->value.GetInt() > high) {
    char format[96];
    std::snprintf(format, sizeof format, "\"%%s\" must be a whole number from %d to %d%s", low,
                  high, nullable ? ", or null" : "");
    return Bad(line, format, key);
  }
  out = member->value.GetInt();
  return true;
}

// A string, or null where `nullable`.
bool GetString(const Value& object, const char* key, ManifestLine& line, const char*& out,
               bool nullable) {
  const auto member = object.FindMember(key);
  if (member == object.MemberEnd()) return Bad(line, "\"%s\" is missing", key);
  if (nullable && member->value.IsNull()) {
    out = nullptr;
    return true;
  }
  if (!member->value.IsString() ||
      std::strlen(member->value.GetString()) != member->value.GetStringLength()) {
    return Bad(line, nullable ? "\"%s\" must be a string, or null" : "\"%s\" must be a string",
               key);
  }
  out = member->value.GetString();
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes written as hexadecimal digits, at most `room` of them.
bool GetBytes(const Value& object, const char* key, ManifestLine& line, char* out, std::size_t room,
              std::size_t& length) {
  const char* text = nullptr;
  if (!GetString(object, key, line, text, false)) return false;
  const std::size_t digits = std::strlen(text);
  if (digits % 2 != 0 || digits / 2 > room) {
    char format[96];
    std::snprintf(format, sizeof format,
                  "\"%%s\" must be at most %zu bytes as pairs of hexadecimal digits", room);
    return Bad(line, format, key);
  }
  for (std::size_t i = 0; i < digits / 2; ++i) {
    const int high = HexDigit(text[2 * i]);
    const int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return Bad(line, "\"%s\" must be hexadecimal digits", key);
    out[i] = static_cast<char>(high << 4 | low);
  }
  length = digits / 2;
  return true;
}

bool GetBool(const Value& object, const char* key, ManifestLine& line, bool& out) {
  const auto member = object.FindMember(key);
  if (member == object.MemberEnd()) return Bad(line, "\"%s\" is missing", key);
  if (!member->value.IsBool()) return Bad(line, "\"%s\" must be true or false", key);
  out = member->value.GetBool();
  return true;
}

bool ReadDisk(const Value& object, ManifestLine& line) {
  ManifestDisk& disk = line.disk;
  disk = ManifestDisk{};
  if (!GetBool(object, "directory", line, disk.directory)) return false;
  // A disk without a directory has nothing more to read.
  if (!disk.directory) return true;
  return GetNumber(object, "number", 0, 255, line, disk.number) &&
         GetBytes(object, "label_bytes", line, disk.label, sizeof disk.label, disk.labelLength) &&
         GetBool(object, "write_protected", line, disk.writeProtected) &&
         GetNumber(object, "media", 0, 255, line, disk.media) &&
         GetNumber(object, "fill", 0, 255, line, disk.fill, true) &&
         GetNumber(object, "directory_fill", 0, 255, line, disk.directoryFill, true) &&
         (object.FindMember("system_area") == object.MemberEnd() ||
          GetString(object, "system_area", line, disk.systemArea, true));
}

bool ReadFile(const Value& object, ManifestLine& line) {
  ManifestFile& file = line.file;
  file = ManifestFile{};
  int end = 0;
  if (!GetString(object, "status", line, file.status, false)) return false;
  file.written = std::strcmp(file.status, "written") == 0;
  if (!GetBytes(object, "name_bytes", line, file.name, sizeof file.name - 1, file.nameLength) ||
      !GetString(object, "path", line, file.path, true)) {
    return false;
  }
  // A file that was not written is refused by its status, whatever else it
  // says.
  if (!file.written) return true;
  if (!GetNumber(object, "start", 0, 0xFFFF, line, file.start) ||
      !GetNumber(object, "end", 0, 0xFFFF, line, end) ||
      !GetNumber(object, "size", 0, 0xFFFF, line, file.size) ||
      !GetNumber(object, "allocation", 0, 0xFFFF, line, file.allocation, true, -1)) {
    return false;
  }
  if (end - file.start != file.size) return Bad(line, "\"size\" is not \"end\" - \"start\"");
  return true;
}

}  // namespace

void ParseManifestLine(char* text, ManifestParseRoom& room, ManifestLine& line) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  if (*p == 0) {
    line.kind = LineKind::kBlank;
    return;
  }
  Pool values(room.values, sizeof room.values);
  Pool stack(room.stack, sizeof room.stack);
  Document document(&values, sizeof room.stack, &stack);
  document.ParseInsitu<rapidjson::kParseValidateEncodingFlag>(text);
  if (document.HasParseError()) {
    char why[128];
    std::snprintf(why, sizeof why, "not JSON: %s (at byte %zu)",
                  rapidjson::GetParseError_En(document.GetParseError()),
                  document.GetErrorOffset() + 1);
    Bad(line, "%s", why);
    return;
  }
  if (!document.IsObject()) {
    Bad(line, "not a JSON object");
    return;
  }
  const auto type = document.FindMember("type");
  if (type == document.MemberEnd() || !type->value.IsString()) {
    Bad(line, "\"type\" must be \"disk\" or \"file\"");
  } else if (std::strcmp(type->value.GetString(), "disk") == 0) {
    if (ReadDisk(document, line)) line.kind = LineKind::kDisk;
  } else if (std::strcmp(type->value.GetString(), "file") == 0) {
    if (ReadFile(document, line)) line.kind = LineKind::kFile;
  } else {
    Bad(line, "\"type\" must be \"disk\" or \"file\"");
  }
}
