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

// Where a run's text goes: the listing, --help and the files' data to
// `out`, messages to `err`. The programs' main gives them standard output
// and standard error.
struct Console {
  std::FILE* out;
  std::FILE* err;
  bool outIsTerminal;  // `out` is a terminal: a listing shows control bytes as '?'
};

Console ConsoleOf(std::FILE* out, std::FILE* err);

// One byte of a name, letter or path as a message shows it: bytes outside
// printable ASCII, '\' and '"' as \xHH, every other byte as it is.
void EscapeByte(unsigned char byte, char (&out)[5]);
void PutEscaped(unsigned char byte, std::FILE* stream);

// True when the console's error stream is a terminal that shows UTF-8
// text: the locale's character set is UTF-8.
bool ErrorIsUtf8Terminal(const Console& console);

// Room for any path as PathText makes it.
constexpr int kPathTextSize = 4096 * 3;

// Whether the NUL-terminated `text` is wholly valid UTF-8.
bool IsValidUtf8(const char* text);

// The path as UTF-8 text in `text`, each byte that is not part of valid
// UTF-8 as U+FFFD.
const char* PathText(const NativePathChar* path, char (&text)[kPathTextSize]);

// The path's bytes on `stream`, escaped as above (on Windows the path in
// UTF-8); `asText`: each whole, valid UTF-8 character other than ASCII as
// it is, the text the user typed.
void PutPath(const NativePathChar* path, std::FILE* stream, bool asText = false);

// The user's own text (a NAME pattern) on `stream` as it was typed: '\'
// and non-ASCII characters included, only control bytes as \xhh.
void PutTyped(const char* text, std::FILE* stream);

// Whether a regular file stands at `path`.
bool IsRegularFile(const NativePathChar* path);

// "PROGRAM: PATH: " on the error stream, the path's bytes escaped (on
// Windows the path is shown in UTF-8), after the output has been flushed.
void PutPathPrefix(const Console& console, const NativePathChar* path);

// Whether the output (`output`) or the error stream (`errorOutput`) goes
// into the image `path`: then nothing may be done, since a message or a
// listing would change the image. Says so on the error stream, "standard
// output goes into the image file; " and `consequence`, unless the error
// stream is the one that goes there: then not even a message is written.
bool ConsoleGoesIntoImage(const Console& console, const NativePathChar* path, bool output,
                          bool errorOutput, const char* consequence);

// Whether all that was printed on the output got there; if not, says so on
// the error stream.
bool StandardOutputWritten(const Console& console);

// The descriptor a stream writes to, or -1 when it has none (a stream in
// memory).
int DescriptorOf(std::FILE* stream);

// A program's entry point: the arguments as UTF-8 text (argv[0] the name
// it was invoked by), the output and the error stream. Returns the exit
// status. It may be called any number of times in one process.
using MainFunction = int (*)(int argc, char** argv, std::FILE* out, std::FILE* err);

// Calls `main` with the arguments of the process's main, standard output
// and standard error. On Windows they come from the wide-character command
// line: argv would hold them in the user's code page, with '?' for every
// character outside it. On POSIX hosts a console stream closed at start is
// opened on /dev/null first.
int StartWithArguments(int argc, char** argv, MainFunction main);

// A run proper: the arguments as UTF-8 text, and where not null the same
// arguments in the host's path type (the wide command line on Windows), from
// which paths are taken.
using StartFunction = int (*)(int argc, char** argv, NativePathChar** nativeArgs,
                              const Console& console);

// What a MainFunction does: calls `start` with the arguments and the
// console. On Windows the arguments' wide forms are those of the command
// line when they are the ones StartWithArguments made, else made from the
// UTF-8 text.
int StartRun(int argc, char** argv, std::FILE* out, std::FILE* err, StartFunction start);

#endif
