#include "json.h"

#include <cstring>
#include <initializer_list>

namespace {

const char kHexDigits[] = "0123456789abcdef";

}  // namespace

void JsonLine::Put(char c) {
  // The last byte is kept for the closing brace.
  if (length + 2 > sizeof buffer) {
    full = true;
    return;
  }
  buffer[length++] = c;
}

void JsonLine::PutQuoted(const char* text, std::size_t count) {
  Put('"');
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      Put('\\');
      Put(static_cast<char>(c));
    } else if (c == '\n') {
      Put('\\');
      Put('n');
    } else if (c == '\r') {
      Put('\\');
      Put('r');
    } else if (c == '\t') {
      Put('\\');
      Put('t');
    } else if (c < 0x20 || c == 0x7F) {
      for (const char e : {'\\', 'u', '0', '0'}) Put(e);
      Put(kHexDigits[c >> 4]);
      Put(kHexDigits[c & 0xF]);
    } else {
      Put(static_cast<char>(c));
    }
  }
  Put('"');
}

void JsonLine::Key(const char* key) {
  Put(length == 0 ? '{' : ',');
  PutQuoted(key, std::strlen(key));
  Put(':');
}

void JsonLine::String(const char* key, const char* text) {
  String(key, text, std::strlen(text));
}

void JsonLine::String(const char* key, const char* text, std::size_t count) {
  Key(key);
  PutQuoted(text, count);
}

void JsonLine::Hex(const char* key, const char* bytes, std::size_t count) {
  Key(key);
  Put('"');
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    Put(kHexDigits[byte >> 4]);
    Put(kHexDigits[byte & 0xF]);
  }
  Put('"');
}

void JsonLine::Number(const char* key, long long value) {
  Key(key);
  char digits[24];
  std::snprintf(digits, sizeof digits, "%lld", value);
  for (const char* p = digits; *p != 0; ++p) Put(*p);
}

void JsonLine::Bool(const char* key, bool value) {
  Key(key);
  for (const char* p = value ? "true" : "false"; *p != 0; ++p) Put(*p);
}

void JsonLine::Null(const char* key) {
  Key(key);
  for (const char* p = "null"; *p != 0; ++p) Put(*p);
}

void JsonLine::WriteTo(std::FILE* stream) {
  if (length == 0) Put('{');
  buffer[length++] = '}';
  // Nothing is cut silently: an object that did not fit is not written.
  if (!full) {
    std::fwrite(buffer, 1, length, stream);
    std::fputc('\n', stream);
  }
}
