// Shell patterns for choosing entries by name: '*' matches any run of
// characters, '?' one character, "[...]" one of a set ("[!...]" or "[^...]"
// one outside it, "a-z" a range), and '\' takes the next character as it
// stands. A pattern matches the whole name.
#ifndef D88UNPACK_APP_COMMON_PATTERN_H
#define D88UNPACK_APP_COMMON_PATTERN_H

// With `utf8`, a character is one UTF-8 sequence; otherwise one byte.
bool MatchPattern(const char* pattern, const char* name, bool utf8);

#endif
