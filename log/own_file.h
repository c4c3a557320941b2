// Files at fixed names in a directory that anyone may write to, such as /tmp: the job log,
// the debug bitmaps, the job information file. Another user can plant a link, a FIFO, a
// directory or a file of their own under such a name beforehand; none of them is used.
#pragma once

#include <string>

struct OwnFile {
    int fd = -1;           // -1 when the file cannot be used
    bool created = false;  // this call created the file
    std::string problem;   // why it cannot be used, for a log or a "DEBUG: " line
};

// Opens `path` for `access` (O_WRONLY or O_RDWR, optionally with O_APPEND), creating it with
// mode 0600 when it does not exist. Only a regular file of this user with no other hard link
// is accepted; it is never opened through a symbolic link and the open never waits on a
// FIFO. An accepted file that was there before is narrowed to mode 0600.
OwnFile OpenOwnFile(const char* path, int access);

// Takes a shared fcntl lock on the open file for as long as it stays open, so that other
// processes see it in use. With `emptyIfAlone`, first empties the file when no other process
// holds a lock on it. Returns whether it was alone.
bool ClaimSharedFile(int fd, bool emptyIfAlone);

// Whether `path` still names the open file `fd` (it was not removed or replaced meanwhile).
bool StillNamed(int fd, const std::string& path);
