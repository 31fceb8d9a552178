// A file for its owner only, on POSIX systems (see private_file.h).
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/cvpublish/private_file.h"

bool WritePrivateFile(const char* path, const std::string& bytes, std::string* problem) {
    // O_EXCL: never take over an existing file, nor follow a link planted in its place.
    int file = open(path, O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    if (file < 0) {
        *problem = errno == EEXIST ? "exists already; a key is never overwritten"
                                   : std::string("cannot be created: ") + strerror(errno);
        return false;
    }
    // The mode asked for above is narrowed by the umask, never widened; this makes it exact.
    bool written = fchmod(file, S_IRUSR | S_IWUSR) == 0;
    for (size_t done = 0; written && done < bytes.size();) {
        ssize_t count = write(file, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) continue;
        written = count > 0;
        if (written) done += static_cast<size_t>(count);
    }
    written = close(file) == 0 && written;
    if (!written) {
        *problem = std::string("cannot be written: ") + strerror(errno);
        (void)unlink(path);  // a cut key is worse than none
    }
    return written;
}
