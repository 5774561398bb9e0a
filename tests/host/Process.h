// Runs the built program as a child process, for the tests of its command line.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace zorvan::test {

struct ProcessResult {
    int exitCode = -1;  // the exit status; -1 when killed by a signal or the timeout
    std::string out, err;  // what it wrote on stdout and stderr
};

// The built zorvan program.
std::string zorvanPath();

// How a child is set up between fork and exec.
struct ChildSetup {
    // Changes to the environment: "NAME=value" sets, "NAME" alone unsets.
    std::vector<std::string> env;
    // Start from an empty environment instead of the test's own (then `env` is all of it).
    bool emptyEnv = false;
    // Files that stdout and stderr go to, made or emptied; the same path for both puts
    // them in one file. A file that cannot be opened ends the child with status 126.
    std::string outPath, errPath;
    // stdin, stdout and stderr on /dev/null (before outPath and errPath apply).
    bool quiet = false;
    // The child leads a process group of its own.
    bool ownGroup = false;
    // The folder it starts in; the test's own when empty.
    std::string cwd;
};

// Forks and execs `program` (looked up on PATH when it has no slash) with `args`; the
// child's pid, or -1. A program that cannot be run ends the child with status 127.
int spawnProcess(const std::string& program, const std::vector<std::string>& args,
                 const ChildSetup& setup = {});

// Runs `program` with `args`, the test's own environment minus `unset`, and waits at
// most `timeoutSeconds` (then kills it).
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& unset = {},
                         double timeoutSeconds = 30.0);
// The same with the child set up as `setup` says; its stdout and stderr are read from
// the files it names, or from files of its own.
ProcessResult runChild(const std::string& program, const std::vector<std::string>& args, ChildSetup setup,
                       double timeoutSeconds = 30.0);

// Starts `program` without waiting, with the test's environment plus `env` ("NAME=value"
// entries; "NAME" alone unsets it), its stderr into the file `errPath` when given;
// returns its pid, or -1.
int startProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env = {}, const std::string& errPath = "");
// Waits for a started process; its exit status, or -1 after the timeout (it is killed).
int waitProcess(int pid, double timeoutSeconds);

// CPU seconds that process `pid` has used (user and system); 0 once it is gone.
double cpuSeconds(int pid);
// The CPU seconds that process `pid` uses over the next `seconds`, slept through here.
double cpuOver(int pid, double seconds);
// Process `pid`'s resident memory in MiB, now (VmRSS) and its peak so far (VmHWM); 0
// once it is gone.
double residentMiB(int pid);
double peakMiB(int pid);

// The user that daemons and compositors run as, since they refuse root or misbehave
// under it: nobody (through setpriv) when the tests run as root, else the tests' own.
struct DaemonUser {
    DaemonUser();  // see why
    uid_t uid = getuid();
    gid_t gid = getgid();
    std::string why;  // why there is none to run as; empty when there is
    // spawnProcess as this user; `options` go to setpriv, when it is needed.
    int spawn(const std::string& program, const std::vector<std::string>& args, const ChildSetup& setup,
              const std::vector<std::string>& options = {}) const;
};

}  // namespace zorvan::test
