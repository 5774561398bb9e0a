// PAM in a process of its own, so that a slow stack (a fingerprint reader, a network
// login) never holds up the lock screen's event loop. The lock program makes one first
// thing in main, before it connects to the display or starts a thread: the child is a
// fork of that small process. The caller polls fd() for input and reads the events that
// PAM's conversation and each check's result make. What it shows of them, and what a
// key does, is the caller's; this only checks passwords.
//
// Only a Success event unlocks, and one comes only as the answer to a check that was
// sent; a child that dies, or says anything out of turn, gives a Died event instead.
#pragma once

#include "host/lock/Password.h"

#include <sys/types.h>

#include <optional>
#include <string>

namespace zorvan::lock {

struct PamEvent {
    enum class Kind {
        HiddenPrompt,   // PAM_PROMPT_ECHO_OFF: answered with the password ("Password: ")
        VisiblePrompt,  // PAM_PROMPT_ECHO_ON: no answer can be given, the check fails
        Info,           // PAM_TEXT_INFO ("Place your finger on the reader")
        Error,          // PAM_ERROR_MSG ("The account is locked due to 3 failed logins.")
        Success,        // the check passed pam_authenticate and pam_acct_mgmt: unlock
        Failure,        // it did not; text says why (pam_strerror's line)
        Died,           // the authentication process is gone; no check can pass any more
    };
    Kind kind;
    std::string text;  // PAM's message, a failure's reason or how the process ended
};

class PamChild {
public:
    // The PAM service: /etc/pam.d/zorvan.
    static constexpr const char* SERVICE = "zorvan";

    // Forks the authentication process, which checks passwords of the user of getuid().
    // Throws std::system_error when it cannot.
    PamChild();
    // Ends the process (a check that runs is abandoned).
    ~PamChild();
    PamChild(const PamChild&) = delete;
    PamChild& operator=(const PamChild&) = delete;

    // The descriptor to poll for input; -1 once the Died event has been read.
    int fd() const { return fd_; }
    // Sends `password` to be checked and clears it; false, and the password left as it
    // is, while a check runs or once the process is gone. An empty password is checked
    // too (a fingerprint stack asks for none).
    bool check(Password& password);
    bool checking() const { return checking_; }
    // The next event when one has come, without waiting; after Died, none.
    std::optional<PamEvent> next();

    pid_t pid() const { return pid_; }

private:
    PamEvent died(const std::string& why);

    pid_t pid_ = -1;
    int fd_ = -1;
    bool checking_ = false;
};

}  // namespace zorvan::lock
