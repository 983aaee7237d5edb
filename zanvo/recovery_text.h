// What a recovered run says to the user: one line for the sectors a file
// lacks, one for those the dumper flagged, or one for a file none of whose
// sectors is on the disk. Plain ASCII, built in fixed storage so that saying
// it needs no memory; the caller adds its own prefix.
#ifndef ZANVO_RECOVERY_TEXT_H
#define ZANVO_RECOVERY_TEXT_H

#include "recover_run.h"

#include <cstddef>

namespace zanvo {

class Text {
  public:
    static constexpr std::size_t kCapacity = 8192;
    void clear() { used_ = 0, text_[0] = '\0'; }
    // Appends; text that does not fit is cut and ends in "...".
    void append(const char* text);
    void appendNumber(long value);
    const char* c_str() const { return text_; }
    std::size_t size() const { return used_; }
    bool empty() const { return used_ == 0; }

  private:
    char text_[kCapacity] = {};
    std::size_t used_ = 0;
};

// "NAME: 9 of 21 sectors missing (track 19 sectors 1-9); zeros written for
// what is missing", and likewise for sectors stored short. Empty when the
// run lacks nothing.
void describeHoles(const char* name, const RunRecovery& run, Text* out);

// "NAME: none of its 11 sectors is on the disk (track 19 sectors 10-16,
// track 20 sectors 1-4); not written".
void describeAbsence(const char* name, const RunRecovery& run, Text* out);

// "NAME: 2 sectors flagged when the disk was dumped, written as stored:
// track 10 sector 7: data CRC error; track 11 sector 2: deleted-data mark",
// one group for each meaning.
// Empty when none is.
void describeFlags(const char* name, const RunRecovery& run, Text* out);

// What a sector's controller status byte says: "data CRC error" for 0xB0 and
// so on; "controller status 0xNN" for a value without a name.
void describeStatus(std::uint8_t status, Text* out);

} // namespace zanvo

#endif
