// Runs the built program as a child process, for the tests of its command line.
#pragma once

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

// Runs `program` with `args`, the test's own environment minus `unset`, and waits at
// most `timeoutSeconds` (then kills it).
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& unset = {},
                         double timeoutSeconds = 30.0);

// Starts `program` without waiting, with the test's environment plus `env` ("NAME=value"
// entries; "NAME" alone unsets it), its stderr into the file `errPath` when given;
// returns its pid, or -1.
int startProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env = {}, const std::string& errPath = "");
// Waits for a started process; its exit status, or -1 after the timeout (it is killed).
int waitProcess(int pid, double timeoutSeconds);


}  // namespace zorvan::test
