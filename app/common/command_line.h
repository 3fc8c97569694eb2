// What both command lines parse the same way with getopt_long: the program
// name messages show, the words of a usage error, and the native form of an
// argument.
#ifndef D88UNPACK_APP_COMMON_COMMAND_LINE_H
#define D88UNPACK_APP_COMMON_COMMAND_LINE_H

#include "console.h"
#include "native_path.h"

// The program name as invoked, or kProgramName when none was given.
const char* InvokedName(int argc, char** argv);

// "PROGRAM: " and the problem (`format` with `detail`), then "Usage:
// INVOKED `usage`" and where to learn more on the error stream.
void ShowUsageError(const Console& console, int argc, char** argv, const char* usage,
                    const char* format, const char* detail);

// The argument a long option that getopt_long just returned was written
// as, or null when it returned a short one. A long option is one whole
// argument, so the call that reads it moves on past it; within a bundle of
// letters ("-xl") it does not, and the argument before is another option
// altogether. `before` is optind before the call.
const char* LongOptionGiven(char** argv, int before);

// The usage error for what getopt_long returned as `option` (':' for a
// missing argument, anything else an option that is not known): the long
// option written as `given`, or with `given` null the short option optopt.
void ShowOptionError(const Console& console, int argc, char** argv, const char* usage, int option,
                     const char* given);

// "PROGRAM VERSION", the copyright and the licence, on the output.
void ShowVersion(const Console& console, const char* version);

// The arguments as they stood before getopt_long moved them; false when
// there are too many to remember.
bool RememberArguments(int argc, char** argv);

// The native form of `text`: one of the arguments, or the tail of one, as
// an option's argument in "--directory=DIR" or "-CDIR" is. Null on Windows
// when it cannot be told.
NativePathChar* NativeOf(char* text, int argc, NativePathChar** nativeArgs);

#endif
