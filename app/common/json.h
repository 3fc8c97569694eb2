// JSON Lines: each object is built in a fixed buffer and written as one
// line. Strings must be UTF-8; they are escaped as JSON requires.
#ifndef D88UNPACK_APP_COMMON_JSON_H
#define D88UNPACK_APP_COMMON_JSON_H

#include <cstddef>
#include <cstdio>

class JsonLine {
 public:
  JsonLine() = default;
  JsonLine(const JsonLine&) = delete;
  JsonLine& operator=(const JsonLine&) = delete;

  void String(const char* key, const char* text);
  // `length` bytes of text, which may hold a NUL.
  void String(const char* key, const char* text, std::size_t length);
  // Bytes as lowercase hexadecimal digits, two a byte.
  void Hex(const char* key, const char* bytes, std::size_t length);
  void Number(const char* key, long long value);
  void Bool(const char* key, bool value);
  void Null(const char* key);
  // Closes the object and writes it with its newline; a line is written
  // once.
  void WriteTo(std::FILE* stream);

 private:
  void Key(const char* key);
  void Put(char c);
  void PutQuoted(const char* text, std::size_t length);

  // More than the longest object: a path of 4,095 bytes (the longest one an
  // image can be opened by), each a control byte written as six, is 24,570
  // bytes; on Windows a path is at most 12,287 bytes of UTF-8 and a
  // backslash in it two. Names and labels are a few dozen bytes, reasons a
  // line.
  char buffer[32768];
  std::size_t length = 0;
  bool full = false;
};

#endif
