// Names as the programs' messages show them: safe to read on a terminal and
// safe to paste back into a shell.
//
// A file name is any string of bytes. Put raw into a message it could move
// the cursor, retitle the window or change colours (control bytes), or be
// shown as something it is not (bytes the terminal cannot read as
// characters); put raw into a suggested command it could run something else
// (`-n x;id.d88`). Such bytes are shown as the shells' $'\ooo' escapes, as
// `ls` shows them on a terminal, and a name that is more than plain letters
// is quoted in a suggested command.
#ifndef FILEIO_MESSAGE_TEXT_H
#define FILEIO_MESSAGE_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace fileio {

// The length of the well-formed UTF-8 sequence at the start of `text` (1
// for ASCII), or 0 when it does not start with one: no overlong form, no
// surrogate, nothing past U+10FFFF.
std::size_t utf8Length(std::string_view text);

// Whether the messages' reader takes UTF-8: the environment's locale says
// so (terminal_text.h), and always on Windows, whose console is given wide
// characters.
bool messagesReadUtf8();

// `text` with every run of bytes that is not to reach a terminal as it is
// written as $'\ooo...': control bytes (C0, DEL, and C1, which in UTF-8 is
// U+0080-U+009F) and, with `utf8`, byte sequences that are not UTF-8, or
// without it, every byte past ASCII.
std::string escapedText(std::string_view text, bool utf8);

// `name` as one word of a command for the platform's shell, to be pasted
// back: posixCommandName, or windowsCommandName on Windows.
std::string commandName(std::string_view name, bool utf8);

// `name` as the value of an option in a suggested command (-C DIR, -o
// FILE), `what` naming what it stands for ("DIR"): posixOptionValue, or
// windowsOptionValue on Windows.
std::string optionValueName(std::string_view name, bool utf8, std::string_view what);

// posixCommandName, but a name that starts with '-' (other than "-" alone,
// which means standard output) is given as ./NAME, the same file: after an
// option, "--" would be taken for its value.
std::string posixOptionValue(std::string_view name, bool utf8);

// windowsCommandName (which gives a leading '-' as .\-NAME already), but a
// name it cannot quote is "<WHAT>", for the user to put the name in, and "-"
// stays standard output.
std::string windowsOptionValue(std::string_view name, std::string_view what);

// For sh, bash and the like: as it is when it is only letters, digits and
// -_./+,:@%, else in single quotes, with the bytes escapedText would escape
// as $'\ooo' outside them. A name that starts with '-' is preceded by "-- ",
// so that it is not taken for an option.
std::string posixCommandName(std::string_view name, bool utf8);

// For both cmd.exe and PowerShell, which share no quoting: as it is when it
// starts with a letter, _ . \ or / (not . and a digit, which PowerShell reads
// as a number) and holds only letters, digits and -_./\:+@; else in double
// quotes, unless it holds what one of them expands even there (cmd %VAR% and
// !VAR!, PowerShell $x and ` and the typographic double quotes it takes for
// "), a byte escapedText would escape, or ends in \ (which with the closing
// quote the C runtime reads as a quote): then "<IMAGE>", a name no Windows
// file can have, to be replaced by hand. A name that starts with '-' is given
// as .\-NAME, the same file, as PowerShell may drop a "--".
std::string windowsCommandName(std::string_view name);

// How many bytes from the start of `text` (not empty) go out as they are: a
// printable ASCII byte, or with `utf8` a whole UTF-8 character past the C1
// controls. 0 for a byte escapedText escapes.
std::size_t shownAsIs(std::string_view text, bool utf8);
// How many bytes from the start of `text` escapedText escapes in one go.
std::size_t escapedRun(std::string_view text, bool utf8);

// "PROGRAM: LINE" on standard error, the line's unsafe bytes escaped for
// the messages' reader (a newline in it too: the line stays one line).
void sayLine(const char* program, std::string_view line);

} // namespace fileio

#endif
