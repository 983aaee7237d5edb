// zanvo-extract's own messages. The Japanese ones are fixed byte strings in
// Shift_JIS (code page 932), written exactly as they stand for the consoles
// the title's users have; beside each is the same text in UTF-8, for a
// terminal that reads UTF-8 (fileio/terminal_text.h decides which a stream
// gets).
#ifndef ZANVO_MESSAGES_H
#define ZANVO_MESSAGES_H

namespace zanvo {

struct FixedMessage {
    const char* sjis;
    const char* utf8;
};

// Standard error, with the program name as invoked.
inline constexpr char kUsageFormat[] = "Usage: %s [d88file]\n";

// Standard error.
inline constexpr FixedMessage kOpenFailed{
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76"
    "\x83\x93\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1.\n",
    "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe3\x82\x92\xe3\x82\xaa"
    "\xe3\x83\xbc\xe3\x83\x97\xe3\x83\xb3\xe3\x81\xa7\xe3\x81\x8d\xe3\x81\xbe"
    "\xe3\x81\x9b\xe3\x82\x93.\n"}; // ファイルをオープンできません.

// Standard output.
inline constexpr FixedMessage kDiskARecognised{
    "ZANVO (Disk A)\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd.\n",
    "ZANVO (Disk A)\xe3\x82\x92\xe8\xaa\x8d\xe8\xad\x98\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f.\n"};
inline constexpr FixedMessage kDiskFRecognised{
    "ZANVO (Disk F)\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd.\n",
    "ZANVO (Disk F)\xe3\x82\x92\xe8\xaa\x8d\xe8\xad\x98\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f.\n"};
// ZANVO (Disk A)を認識しました. and the same for Disk F

// Standard output, once per file cut, before the file is written: the prefix,
// the file name, a newline.
inline constexpr char kCuttingPrefix[] = "cutting ... ";

} // namespace zanvo

#endif
