#include "output_folder.h"

#ifndef _WIN32

#include <sys/stat.h>
#include <cstdlib>
#ifdef __linux__
#include <sys/vfs.h>
#endif

#include <cstdint>
#include <cstring>

namespace fileio {

namespace {

// What was learned about the last folder asked about.
struct Learned {
    std::string folder;
    bool checked = false;
    bool takesFiles = true;
    int newMode = -1;
} learned;

std::string folderOf(const char* name)
{
    const char* cut = std::strrchr(name, '/');
    if (!cut)
        return ".";
    if (cut == name)
        return "/";
    return std::string(name, static_cast<std::size_t>(cut - name));
}

void learnAbout(const std::string& folder)
{
    if (learned.folder != folder)
        learned = Learned{folder};
}

// On the file system that holds the system's device nodes. /dev's file
// system carries no type of its own (devtmpfs reports tmpfs's), so it is
// told by where /dev/null lives; a tmpfs mounted below it (/dev/shm) is not
// that file system.
bool onDeviceNodes(const char* folder)
{
    struct stat here, null;
    return stat(folder, &here) == 0 && stat("/dev/null", &null) == 0 && here.st_dev == null.st_dev;
}

bool within(const std::string& path, const char* top)
{
    const std::size_t length = std::strlen(top);
    return path.compare(0, length, top) == 0 && (path.size() == length || path[length] == '/');
}

// Whether the folder, by whatever spelling or link it is reached, is /dev
// (but not /dev/shm, the place for files shared in memory) or /proc or below
// them. Told by path as well as by file system, since in a container /dev is
// often a plain tmpfs holding devices bound in from the host.
bool systemFolder(const char* folder)
{
    char* real = realpath(folder, nullptr);
    if (!real)
        return false;
    const std::string path(real);
    std::free(real);
    return (within(path, "/dev") && !within(path, "/dev/shm")) || within(path, "/proc") || within(path, "/sys");
}

// Whether the folder is on a file system of devices or processes, where a
// name is an interface of the kernel's, not a file of the user's.
bool kernelFileSystem(const char* folder)
{
    if (systemFolder(folder))
        return true;
#ifdef __linux__
    struct statfs fs;
    if (statfs(folder, &fs) != 0)
        return false;
    switch (static_cast<std::uint32_t>(fs.f_type)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x1cd1:     // devpts
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x0027e0eb: // cgroup
    case 0x63677270: // cgroup2
    case 0xcafe4a11: // bpf
    case 0x62656570: // configfs
    case 0x6165676c: // pstore
    case 0xde5e81e4: // efivarfs
    case 0x65735543: // fusectl
    case 0x19800202: // mqueue
    case 0x42494e4d: // binfmt_misc
    case 0xf97cff8c: // selinuxfs
    case 0x9fa2:     // usbdevfs
        return true;
    case 0x01021994: // tmpfs, which devtmpfs also reports
    case 0x858458f6: // ramfs, devtmpfs without tmpfs
        return onDeviceNodes(folder);
    default:
        return false;
    }
#else
    return onDeviceNodes(folder);
#endif
}

} // namespace

bool folderTakesFiles(const char* name, std::string* reason)
{
    learnAbout(folderOf(name));
    if (!learned.checked) {
        learned.takesFiles = !kernelFileSystem(learned.folder.c_str());
        learned.checked = true;
    }
    if (!learned.takesFiles)
        *reason = "its folder is on a device or process file system; nothing is created there";
    return learned.takesFiles;
}

int newFileMode(const char* name, int fd)
{
    learnAbout(folderOf(name));
    struct stat st;
    if (learned.newMode < 0 && fstat(fd, &st) == 0)
        learned.newMode = static_cast<int>(st.st_mode & 0777);
    return learned.newMode;
}

void forgetOutputFolders()
{
    learned = Learned{};
}

} // namespace fileio

#else

namespace fileio {

// Windows has no such folders to refuse (its devices are names like NUL and
// CON, written through or refused in write_output.cpp), and no permission
// bits to carry over.
bool folderTakesFiles(const char*, std::string*)
{
    return true;
}

int newFileMode(const char*, int)
{
    return -1;
}

void forgetOutputFolders() {}

} // namespace fileio

#endif
