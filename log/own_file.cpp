#include "log/own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr mode_t kOwnMode = 0600;

// What stands at `path` when it could not be opened.
std::string DescribeRefused(const char* path, int openError) {
    struct stat info {};
    if (::lstat(path, &info) == 0) {
        if (S_ISLNK(info.st_mode)) return "it is a symbolic link";
        if (!S_ISREG(info.st_mode)) return "it is not a regular file";
    }
    return std::strerror(openError);
}

// Empty when the open file may be used.
std::string CheckOpened(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "it is not a regular file";
    if (info.st_uid != ::geteuid()) return "it belongs to another user";
    if (info.st_nlink != 1) return "it has another hard link";
    if ((info.st_mode & 07777) != kOwnMode && ::fchmod(fd, kOwnMode) != 0)
        return std::strerror(errno);
    return {};
}

}  // namespace

OwnFile OpenOwnFile(const char* path, int access) {
    OwnFile file;
    const int flags = access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    file.fd = ::open(path, flags | O_CREAT | O_EXCL, kOwnMode);
    file.created = file.fd >= 0;
    if (file.fd < 0 && errno == EEXIST) file.fd = ::open(path, flags);
    if (file.fd < 0) {
        file.problem = DescribeRefused(path, errno);
        return file;
    }
    file.problem = CheckOpened(file.fd);
    if (!file.problem.empty()) {
        ::close(file.fd);
        file.fd = -1;
        file.created = false;
    }
    return file;
}

bool ClaimSharedFile(int fd, bool emptyIfAlone) {
    flock lock{};
    lock.l_whence = SEEK_SET;
    lock.l_type = F_WRLCK;
    const bool alone = ::fcntl(fd, F_SETLK, &lock) == 0;
    // Should emptying fail, the file only keeps older lines ahead of the new ones.
    if (alone && emptyIfAlone) (void)!::ftruncate(fd, 0);
    lock.l_type = F_RDLCK;
    ::fcntl(fd, F_SETLK, &lock);
    return alone;
}

bool StillNamed(int fd, const std::string& path) {
    struct stat named {};
    struct stat opened {};
    return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}
