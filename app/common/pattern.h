// Shell patterns for choosing entries by name: '*' matches any run of
// characters, '?' one character, "[...]" one of a set ("[!...]" or "[^...]"
// one outside it, "a-z" a range), and '\' takes the next character as it
// stands. A pattern matches the whole name.
#ifndef D88UNPACK_APP_COMMON_PATTERN_H
#define D88UNPACK_APP_COMMON_PATTERN_H

// A pattern, and what matching it against names has taught it: a set that
// does not close is found so once, not again for every name and every place
// in it, so that a pattern costs in proportion to its length however many
// names it is matched against.
//
// Zero is no pattern, and nothing but zeros: an array of them in a work
// area made at run time takes no memory until patterns are given.
class Pattern {
 public:
  Pattern() = default;
  explicit Pattern(const char* text) : text(text), unclosed(nullptr), compiled(), membersRead(0) {}

  const char* Text() const { return text; }

  // With `utf8`, a character is one UTF-8 sequence; otherwise one byte.
  // With `ignoreCase`, ASCII letters match in either case.
  bool Matches(const char* name, bool utf8, bool ignoreCase);

  // How many members of sets all matches so far have read: what a pattern
  // costs, counted.
  long long MembersRead() const { return membersRead; }

 private:
  // Matches the set that starts after the '[' at `open` against the
  // character `c`: the pattern after the set, or null when the set does not
  // close (the '[' then stands for itself).
  const char* MatchSet(const char* open, unsigned long c, bool utf8, bool ignoreCase,
                       bool& matched);
  // Makes the table of the set between `open` and its ']' at `close`.
  void Compile(const char* open, const char* members, const char* close, bool utf8, bool ignoreCase,
               bool negated);

  // Null until a pattern is given.
  const char* text;
  // The first '[' whose set was found not to close. No '[' after it closes
  // either: reading from a later '[' reaches the same end without a ']'.
  const char* unclosed;
  // The last long set read, as a table of the byte values it matches, so
  // that a long set costs its length once, not once for every character of
  // every name. `wide` tells that it has characters past 255 (UTF-8), which
  // are then looked for in the set itself.
  struct Compiled {
    const char* open;
    const char* after;
    bool utf8;
    bool ignoreCase;
    bool negated;
    bool wide;
    unsigned char bits[32];
  } compiled;
  long long membersRead;
};

#endif
