// The authentication process: reads each password straight into a Password of its own,
// runs pam_authenticate and pam_acct_mgmt for the service "zorvan" and the user of
// getuid(), sends PAM's messages and the result back, and zeroes what it can of the
// password's copies. It keeps no state between checks but the open socket.
#include "host/lock/PamService.h"

#include "host/lock/PamChild.h"
#include "host/lock/PamProtocol.h"
#include "host/lock/Password.h"

#include <pwd.h>
#include <security/pam_appl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace zorvan::lock {

namespace {

// Sends one packet: `type` and `text`, cut at a character to MAX_TEXT bytes. False when
// the screen has gone.
bool sendText(int fd, char type, const char* text) {
    size_t length = text ? strnlen(text, protocol::MAX_TEXT + 1) : 0;
    if (length > protocol::MAX_TEXT) {
        length = protocol::MAX_TEXT;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xc0) == 0x80) --length;
    }
    iovec parts[2] = {{&type, 1}, {const_cast<char*>(text), length}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = length ? 2 : 1;
    ssize_t sent;
    do sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(1 + length);
}

struct Conversation {
    int fd;
    const Password* password;
};

void dropResponses(pam_response* responses, int count) {
    for (int i = 0; i < count; ++i) {
        if (responses[i].resp) {
            explicit_bzero(responses[i].resp, strlen(responses[i].resp));
            free(responses[i].resp);
        }
    }
    free(responses);
}

// PAM's conversation: each message goes to the screen; a hidden prompt is answered with
// the password, in a malloc'd copy that PAM frees (Linux-PAM zeroes it first). A visible
// prompt has no answer: the lock screen asks nothing but the password.
int converse(int count, const pam_message** messages, pam_response** out, void* data) {
    const auto& conversation = *static_cast<const Conversation*>(data);
    *out = nullptr;
    if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
    auto* responses = static_cast<pam_response*>(calloc(size_t(count), sizeof(pam_response)));
    if (!responses) return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const pam_message& message = *messages[i];
        char type;
        switch (message.msg_style) {
        case PAM_PROMPT_ECHO_OFF: type = protocol::HIDDEN_PROMPT; break;
        case PAM_PROMPT_ECHO_ON: type = protocol::VISIBLE_PROMPT; break;
        case PAM_TEXT_INFO: type = protocol::INFO; break;
        case PAM_ERROR_MSG: type = protocol::ERROR; break;
        default: dropResponses(responses, count); return PAM_CONV_ERR;
        }
        if (!sendText(conversation.fd, type, message.msg) || type == protocol::VISIBLE_PROMPT) {
            dropResponses(responses, count);
            return PAM_CONV_ERR;
        }
        if (type == protocol::HIDDEN_PROMPT) {
            const auto bytes = conversation.password->bytes();
            char* copy = static_cast<char*>(malloc(bytes.size() + 1));
            if (!copy) {
                dropResponses(responses, count);
                return PAM_BUF_ERR;
            }
            memcpy(copy, bytes.data(), bytes.size());
            copy[bytes.size()] = '\0';
            responses[i].resp = copy;
        }
    }
    *out = responses;
    return PAM_SUCCESS;
}

// The name of the user of getuid(); empty when there is none.
std::string userName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    int error;
    while ((error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return error == 0 && found ? std::string(found->pw_name) : std::string();
}

// One check: SUCCESS only when both PAM calls say so, FAILURE with PAM's reason otherwise.
void check(int fd, const Password& password, const std::string& user) {
    if (user.empty()) {
        sendText(fd, protocol::FAILURE, ("no user name for uid " + std::to_string(getuid())).c_str());
        return;
    }
    Conversation conversation{fd, &password};
    const pam_conv conv{converse, &conversation};
    pam_handle_t* handle = nullptr;
    int result = pam_start(PamChild::SERVICE, user.c_str(), &conv, &handle);
    // No empty password passes, whatever a module's nullok says; a stack that reads no
    // password (a fingerprint) passes without one.
    if (result == PAM_SUCCESS) result = pam_authenticate(handle, PAM_DISALLOW_NULL_AUTHTOK);
    if (result == PAM_SUCCESS) result = pam_acct_mgmt(handle, PAM_DISALLOW_NULL_AUTHTOK);
    const std::string reason = result == PAM_SUCCESS ? "" : pam_strerror(handle, result);
    if (handle) pam_end(handle, result);
    if (result == PAM_SUCCESS) sendText(fd, protocol::SUCCESS, nullptr);
    else sendText(fd, protocol::FAILURE, reason.c_str());
}

}  // namespace

void servePam(int fd) {
    // Its memory holds the password and PAM's copies of it: no core dump, and no ptrace
    // or /proc/<pid>/mem for the user's other processes.
    prctl(PR_SET_DUMPABLE, 0);
    // The terminal's keys stop or end the screen, not this process behind its back;
    // PAM's helpers (unix_chkpwd) are waited for, so children are not ignored.
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    signal(SIGTSTP, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGCHLD, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    const std::string user = userName();
    Password password;
    for (;;) {
        char type = 0;
        const auto storage = password.storage();
        iovec parts[2] = {{&type, 1}, {storage.data(), storage.size()}};
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = 2;
        const ssize_t got = recvmsg(fd, &message, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the screen has gone
        if (type != protocol::CHECK || (message.msg_flags & MSG_TRUNC) || !password.adopt(size_t(got) - 1))
            sendText(fd, protocol::FAILURE, "the password could not be read");
        else
            check(fd, password, user);
        password.clear();
    }
    password.clear();
    _exit(0);
}

}  // namespace zorvan::lock
