#include "standard_streams.h"

#include "error_text.h"
#include "file_identity.h"
#include "message_text.h"
#include "platform.h"
#include "output_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace fileio {

namespace {

Sameness streamVersusImage(int fd, const d88::FileIdentity& image, int* error)
{
    d88::FileIdentity identity;
    const Sameness known = platform::descriptorIdentity(fd, &identity, error);
    if (known != Sameness::Same)
        return known;
    return identity == image ? Sameness::Same : Sameness::Different;
}

} // namespace

bool beginRun(const d88::FileIdentity& image, const char* program)
{
    forgetOutputFolders();
    int outError = 0, errError = 0;
    const Sameness out = streamVersusImage(1, image, &outError);
    const Sameness err = streamVersusImage(2, image, &errError);
    if (out == Sameness::Different && err == Sameness::Different)
        return true;
    // Standard error takes the message only when it is not the image.
    if (err == Sameness::Different) {
        if (out == Sameness::Same)
            sayLine(program, "standard output is the image being read; nothing is written");
        else
            sayLine(program, "cannot tell whether standard output is the image being read (" +
                                 errorText(outError) + "); nothing is written");
    }
    return false;
}

int standardStreamOf(const d88::FileIdentity& identity)
{
    for (const int fd : {1, 2}) {
        d88::FileIdentity stream;
        int error = 0;
        if (platform::descriptorIdentity(fd, &stream, &error) == Sameness::Same && stream == identity)
            return fd;
    }
    return -1;
}

bool leadsToTerminal(const char* name)
{
    if (!name || std::strcmp(name, "-") == 0)
        return isTerminal(1);
    if (const int fd = descriptorNamed(name); fd >= 0)
        return isTerminal(fd);
    d88::FileIdentity identity;
    int error = 0;
    if (platform::lookUp(name, &identity, &error) != platform::NameKind::Device)
        return false;
    const int fd = standardStreamOf(identity);
    return fd >= 0 && isTerminal(fd);
}

} // namespace fileio
