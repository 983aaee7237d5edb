// The folder an output is written in: whether a file may be created there at
// all, and the permission bits a new file gets there. Both are learned once
// for the folder a run's outputs share, so that neither costs a system call
// for each file.
#ifndef FILEIO_OUTPUT_FOLDER_H
#define FILEIO_OUTPUT_FOLDER_H

#include <string>

namespace fileio {

// False, with a reason in plain ASCII, when `name`'s folder is /dev (but not
// /dev/shm), /proc or /sys or below them, or on a file system of devices or
// processes (devtmpfs, procfs, sysfs, devpts and the like), whatever the
// name's spelling: no file is created or renamed there. True
// when the folder cannot be looked at; creating a file there then fails with
// the system's reason.
bool folderTakesFiles(const char* name, std::string* reason);

// Whether the current folder, where a run's outputs go, can take new files
// at all: it is no folder of devices or processes, and this process may
// create files in it. False, with a reason in plain ASCII ("Permission
// denied"), when it cannot. Asked once before the first output, so that a
// folder that takes none is refused once rather than file by file.
bool currentFolderTakesFiles(std::string* reason);

// The permission bits (masked to 0777) a file created in `name`'s folder gets
// (the umask, or the folder's default ACL, applied), learned from `fd`, a file
// just created there; -1 when the system cannot say.
int newFileMode(const char* name, int fd);

// Forgets what was learned: for a new run in the same process, whose current
// folder or umask may have changed.
void forgetOutputFolders();

} // namespace fileio

#endif
