// The tool's own messages. They are fixed byte strings in Shift_JIS (code page
// 932), written exactly as they stand with no character-set conversion; the
// decoded text is given beside each.
#ifndef ZANVO_MESSAGES_H
#define ZANVO_MESSAGES_H

namespace zanvo {

// Standard error, with the program name as invoked.
inline constexpr char kUsageFormat[] = "Usage: %s [d88file]\n";

// Standard error: "ファイルをオープンできません.\n"
inline constexpr char kOpenFailed[] = "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76"
                                      "\x83\x93\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1.\n";

// Standard output: "ZANVO (Disk A)を認識しました.\n"
inline constexpr char kDiskARecognised[] = "ZANVO (Disk A)\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc"
                                           "\x82\xb5\x82\xbd.\n";

// Standard output: "ZANVO (Disk F)を認識しました.\n"
inline constexpr char kDiskFRecognised[] = "ZANVO (Disk F)\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc"
                                           "\x82\xb5\x82\xbd.\n";

// Standard output, once per file cut, before the file is written: the prefix,
// the file name, a newline.
inline constexpr char kCuttingPrefix[] = "cutting ... ";

} // namespace zanvo

#endif
