// Opening a file to check on POSIX systems. A FIFO would block the open and a
// device such as /dev/zero would never end, so the file is opened without
// blocking and refused unless it is a regular file, before a byte is read.
#include "log_check.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picalc::check {
namespace {

const char* kind_reason(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "it is a folder, not a file";
    }
    return "it is not a regular file (a device, FIFO or socket), which might never end";
}

} // namespace

std::FILE* open_input_file(const char* path, std::string& why) {
    int flags = O_RDONLY;
#ifdef O_NONBLOCK
    flags |= O_NONBLOCK;
#endif
#ifdef O_CLOEXEC
    flags |= O_CLOEXEC;
#endif
#ifdef O_NOCTTY
    flags |= O_NOCTTY;
#endif
    const int fd = open(path, flags);
    if (fd < 0) {
        why = std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    const bool known = fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        why = known ? kind_reason(status.st_mode) : std::strerror(errno);
        static_cast<void>(close(fd)); // only opened to look at
        return nullptr;
    }
#ifdef O_NONBLOCK
    // Reading a regular file never blocks; the flag only guarded the open.
    const int now = fcntl(fd, F_GETFL);
    if (now != -1) {
        static_cast<void>(fcntl(fd, F_SETFL, now & ~O_NONBLOCK));
    }
#endif
    std::FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        why = std::strerror(errno);
        static_cast<void>(close(fd));
    }
    return stream;
}

bool input_stream_usable(std::FILE* stream, std::string& why) {
    struct stat status {};
    const int fd = fileno(stream);
    if (fstat(fd, &status) != 0) {
        return true; // nothing known against it: reading will tell
    }
    const bool device = S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode);
    if (device && isatty(fd) == 0) {
        why = "it is a device, not a file or a pipe, and might never end";
        return false;
    }
    return true;
}

} // namespace picalc::check
