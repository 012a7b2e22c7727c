// Opening a file to check on Windows. A folder is refused before it is
// opened, and after the open anything but a disk file (NUL, CON, a pipe
// named as a path) is refused before a byte is read.
#include "log_check.h"

#include <cerrno>
#include <cstring>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace picalc::check {
namespace {

const char* kind_reason(unsigned int mode) {
    if ((mode & _S_IFMT) == _S_IFDIR) {
        return "it is a folder, not a file";
    }
    return "it is not a regular file (a device or pipe), which might never end";
}

} // namespace

std::FILE* open_input_file(const char* path, std::string& why) {
    struct _stat64 status {};
    if (_stat64(path, &status) == 0 && (status.st_mode & _S_IFMT) != _S_IFREG) {
        why = kind_reason(status.st_mode);
        return nullptr;
    }
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        why = std::strerror(errno);
        return nullptr;
    }
    if (_fstat64(_fileno(stream), &status) == 0 && (status.st_mode & _S_IFMT) != _S_IFREG) {
        why = kind_reason(status.st_mode);
        static_cast<void>(std::fclose(stream)); // only opened to look at
        return nullptr;
    }
    return stream;
}

bool input_stream_usable(std::FILE* stream, std::string& why) {
    struct _stat64 status {};
    const int fd = _fileno(stream);
    if (_fstat64(fd, &status) != 0) {
        return true;
    }
    if ((status.st_mode & _S_IFMT) == _S_IFCHR && _isatty(fd) == 0) {
        why = "it is a device, not a file or a pipe, and might never end";
        return false;
    }
    return true;
}

} // namespace picalc::check
