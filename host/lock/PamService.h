// The authentication process: the forked child of PamChild that runs PAM. It does not
// fork itself, nor talk to anything but its socket and PAM.
#pragma once

namespace zorvan::lock {

// Answers checks on `fd` (PamProtocol.h) until the other end closes it, then exits the
// process. It never returns; PamChild calls it in the child right after fork.
[[noreturn]] void servePam(int fd);

}  // namespace zorvan::lock
