// The lock screen's side of the authentication process: the fork, the checks it sends and
// the events it reads back. Anything the process says that does not fit the protocol, at
// the time it says it, is taken as its death: it is killed, and no check passes after.
#include "host/lock/PamChild.h"

#include "host/lock/PamProtocol.h"
#include "host/lock/PamService.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace zorvan::lock {

PamChild::PamChild() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::system_error(errno, std::generic_category(), "socketpair for the authentication process");
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(ends[0]);
        close(ends[1]);
        throw std::system_error(error, std::generic_category(), "fork of the authentication process");
    }
    if (pid_ == 0) {
        close(ends[0]);
        // It goes with the screen, even one killed before it could close the socket.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        // Nothing else the program has open reaches PAM's modules.
        if (ends[1] > 3) close_range(3, unsigned(ends[1]) - 1, 0);
        close_range(unsigned(ends[1]) + 1, ~0u, 0);
        try {
            servePam(ends[1]);
        } catch (...) {
        }
        _exit(1);
    }
    close(ends[1]);
    fd_ = ends[0];
}

PamChild::~PamChild() {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool PamChild::check(Password& password) {
    if (fd_ < 0 || checking_) return false;
    char type = protocol::CHECK;
    const auto bytes = password.bytes();
    // Straight from the password's buffer to the socket: no copy on the way.
    iovec parts[2] = {{&type, 1}, {const_cast<char*>(bytes.data()), bytes.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    ssize_t sent;
    do sent = sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    while (sent < 0 && errno == EINTR);
    // A process that cannot take the packet is gone; next() will say so.
    if (sent != ssize_t(1 + bytes.size())) return false;
    checking_ = true;
    password.clear();
    return true;
}

std::optional<PamEvent> PamChild::next() {
    if (fd_ < 0) return std::nullopt;
    char packet[1 + protocol::MAX_TEXT + 1];
    iovec part = {packet, sizeof packet};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t got;
    do got = recvmsg(fd_, &message, MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return std::nullopt;
    if (got <= 0) return died("");
    const size_t textLength = size_t(got) - 1;
    if ((message.msg_flags & MSG_TRUNC) || textLength > protocol::MAX_TEXT)
        return died("it sent a message too long");
    std::string text(packet + 1, textLength);
    // Each message answers a check that was sent, and a result ends it.
    if (!checking_) return died("it spoke while no check ran");
    switch (packet[0]) {
    case protocol::HIDDEN_PROMPT: return PamEvent{PamEvent::Kind::HiddenPrompt, text};
    case protocol::VISIBLE_PROMPT: return PamEvent{PamEvent::Kind::VisiblePrompt, text};
    case protocol::INFO: return PamEvent{PamEvent::Kind::Info, text};
    case protocol::ERROR: return PamEvent{PamEvent::Kind::Error, text};
    case protocol::SUCCESS:
        if (textLength != 0) break;
        checking_ = false;
        return PamEvent{PamEvent::Kind::Success, ""};
    case protocol::FAILURE:
        checking_ = false;
        return PamEvent{PamEvent::Kind::Failure, text.empty() ? "authentication failed" : text};
    default: break;
    }
    return died("it sent a garbled message");
}

PamEvent PamChild::died(const std::string& why) {
    close(fd_);
    fd_ = -1;
    checking_ = false;
    std::string how = why;
    if (pid_ > 0) {
        // A process still there after a garbled message is ended; one that closed its end
        // is on its way out.
        kill(pid_, SIGKILL);
        int status = 0;
        pid_t reaped;
        do reaped = waitpid(pid_, &status, 0);
        while (reaped < 0 && errno == EINTR);
        pid_ = -1;
        if (how.empty() && reaped > 0) {
            if (WIFSIGNALED(status)) how = std::string("killed by signal ") + std::to_string(WTERMSIG(status)) +
                                           " (" + strsignal(WTERMSIG(status)) + ")";
            else if (WIFEXITED(status)) how = "exit status " + std::to_string(WEXITSTATUS(status));
        }
    }
    return PamEvent{PamEvent::Kind::Died, "the authentication process died" + (how.empty() ? "" : ": " + how)};
}

}  // namespace zorvan::lock
