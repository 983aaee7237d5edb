// Which form of a fixed Japanese message a stream gets. A terminal whose
// locale reads UTF-8 gets UTF-8; a Windows console gets wide characters; any
// other stream (a file, a pipe, a terminal of another locale) gets the
// message's Shift_JIS bytes exactly as they stand. Decided from the
// environment, never by switching the C library's locale, so the system's
// error texts in the ASCII lines stay as they are.
#ifndef FILEIO_TERMINAL_TEXT_H
#define FILEIO_TERMINAL_TEXT_H

#include <cstdio>

namespace fileio {

enum class TextForm { Bytes, Utf8, Console };

// The form for `stream`.
TextForm textFormOf(std::FILE* stream);

// Whether the locale the environment names reads UTF-8: the first of
// LC_ALL, LC_CTYPE and LANG that is set and not empty names it, and its
// character set (after the '.', before any '@') is UTF-8 or utf8. nullptr
// for a variable that is not set.
bool localeReadsUtf8(const char* lcAll, const char* lcCtype, const char* lang);

// Writes UTF-8 text to a Windows console as wide characters; false when the
// stream is not a console or the write fails (and always, elsewhere).
bool writeToConsole(std::FILE* stream, const char* utf8);

} // namespace fileio

#endif
