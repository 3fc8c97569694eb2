// What both command lines do the same way on the console: the program's
// name at the head of each message, names and paths shown so that their
// bytes cannot drive a terminal, the check that standard output got all it
// was given, and the arguments as the host gives them.
#ifndef D88UNPACK_APP_COMMON_CONSOLE_H
#define D88UNPACK_APP_COMMON_CONSOLE_H

#include <cstdio>

#include "native_path.h"

// The program's name at the head of its messages ("d88unpack"): each
// program defines it.
extern const char kProgramName[];

// A byte that a terminal takes as a command rather than a character: 0x01 to
// 0x1F and 0x7F.
bool IsControlByte(unsigned char byte);

// One byte of a name, letter or path as a message shows it: bytes outside
// printable ASCII, '\' and '"' as \xHH, every other byte as it is.
void EscapeByte(unsigned char byte, char (&out)[5]);
void PutEscaped(unsigned char byte, std::FILE* stream);

// True when standard output is a terminal.
bool OutputIsTerminal();

// True when standard error is a terminal that shows UTF-8 text: the
// locale's character set is UTF-8.
bool ErrorIsUtf8Terminal();

// Whether the NUL-terminated `text` is wholly valid UTF-8.
bool IsValidUtf8(const char* text);

// The path as UTF-8 text, each byte that is not part of valid UTF-8 as
// U+FFFD; valid until the next call.
const char* PathText(const NativePathChar* path);

// The path's bytes on standard error, escaped as above (on Windows the path
// in UTF-8).
void PutPath(const NativePathChar* path);

// The user's own text (a NAME pattern) on standard error as it was typed:
// '\' and non-ASCII characters included, only control bytes as \xhh.
void PutTyped(const char* text);

// Whether a regular file stands at `path`.
bool IsRegularFile(const NativePathChar* path);

// "PROGRAM: PATH: " on standard error, the path's bytes escaped (on Windows
// the path is shown in UTF-8), after standard output has been flushed.
void PutPathPrefix(const NativePathChar* path);

// Whether standard output (`output`) or standard error (`errorOutput`) goes
// into the image `path`: then nothing may be done, since a message or a
// listing would change the image. Says so on standard error, "standard
// output goes into the image file; " and `consequence`, unless standard
// error is the one that goes there: then not even a message is written.
bool ConsoleGoesIntoImage(const NativePathChar* path, bool output, bool errorOutput,
                          const char* consequence);

// Whether all that was printed on standard output got there; if not, says so
// on standard error.
bool StandardOutputWritten();

// The program's entry point proper: the arguments as UTF-8 text, and where
// not null the same arguments in the host's path type (the wide command
// line on Windows), from which paths are taken.
using StartFunction = int (*)(int argc, char** argv, NativePathChar** nativeArgs);

// Calls `start` with the arguments of `main`. On Windows they come from the
// wide-character command line: argv would hold them in the user's code page,
// with '?' for every character outside it. On POSIX hosts a console stream
// closed at start is opened on /dev/null first.
int StartWithArguments(int argc, char** argv, StartFunction start);

#endif
