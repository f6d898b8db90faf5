// Standard descriptors held on /dev/null when the program starts without them.
#include "base/standard_descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orv {

void holdClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        // The lowest free number is the one just found closed; anything else is let go.
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

} // namespace orv
