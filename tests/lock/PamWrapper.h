// Real PAM for the lock tests, through pam_wrapper: a test case runs again in a process of
// its own with libpam_wrapper preloaded and a private folder of PAM services, where
// "zorvan" is the stack the test gives. The user's own PAM files are never read.
#pragma once

#include <string>
#include <string_view>

namespace zorvan::test {

// In a test body: `if (!inPamWrapper()) return rerunUnderPamWrapper(stack);`. The stack is
// the service file's text, with MATRIX, CHATTY and PASSDB standing for pam_matrix.so,
// pam_chatty.so and the password file. The rerun's result is the test's; it skips when
// pam_wrapper is not installed.
bool inPamWrapper();
void rerunUnderPamWrapper(const std::string& stack);

// The service lines most tests want: the password and the account from pam_matrix.
extern const std::string MATRIX_STACK;

// Under the wrapper: writes the password file, one line "<user>:<password>:<service>" for
// the user of getuid(). The password is written a byte at a time, so that no whole copy
// of it is left in this process's memory; with `reversed` the bytes are given last first.
void writePassdb(std::string_view password, const std::string& service = "zorvan", bool reversed = false);

}  // namespace zorvan::test
