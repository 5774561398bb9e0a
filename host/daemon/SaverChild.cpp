#include "host/daemon/SaverChild.h"

#include <glib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zorvan::daemon {

SaverChild::SaverChild(std::function<void(int, bool)> ended) : ended_(std::move(ended)) {}

SaverChild::~SaverChild() { end(100); }

bool SaverChild::start(const std::string& program, const std::vector<std::string>& args) {
    if (running()) return true;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "zorvan: cannot start the saver: %s\n", std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        // The saver goes with the daemon, even one killed with SIGKILL; a daemon that is
        // already gone by now is seen by the parent's pid.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(program.c_str(), argv.data());
        // Only async-signal-safe calls between fork and exec: the daemon has threads.
        const char line[] = "zorvan: cannot run the saver program\n";
        (void)!write(2, line, sizeof line - 1);
        _exit(127);
    }
    pid_ = pid;
    stopping_ = false;
    watch_ = g_child_watch_add(
        pid,
        [](GPid child, int status, gpointer self) {
            auto* me = static_cast<SaverChild*>(self);
            g_spawn_close_pid(child);
            me->pid_ = -1;
            me->watch_ = 0;
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            me->ended_(code, me->stopping_);
        },
        this);
    return true;
}

void SaverChild::stop() {
    if (!running() || stopping_) return;
    stopping_ = true;
    kill(pid_, SIGTERM);
}

void SaverChild::end(int ms) {
    if (!running()) return;
    if (watch_) g_source_remove(watch_);
    watch_ = 0;
    kill(pid_, SIGTERM);
    for (int waited = 0; waited < ms; waited += 5) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        const timespec pause{0, 5000000};
        nanosleep(&pause, nullptr);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace zorvan::daemon
