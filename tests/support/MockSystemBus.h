// A private message bus that stands for the system bus, with python3-dbusmock's mock
// daemons on it (UPower, power-profiles, logind ...), all ended with the object. The
// programs under test get it through variable().
#pragma once

#include "support/TestSupport.h"

#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace zorvan::test {

// Debian's own python3 carries dbusmock (another one on PATH may not).
inline constexpr char SYSTEM_PYTHON[] = "/usr/bin/python3";

class MockSystemBus {
public:
    explicit MockSystemBus(const TempDir& dir);  // see ok()
    ~MockSystemBus();
    MockSystemBus(const MockSystemBus&) = delete;
    MockSystemBus& operator=(const MockSystemBus&) = delete;

    bool ok() const { return connection_ != nullptr; }
    const std::string& why() const { return why_; }
    // For the programs that use it as their system bus.
    std::string variable() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + address_; }
    // The test's own connection to it.
    GDBusConnection* connection() const { return connection_; }

    // Starts dbusmock's template with its parameters (JSON); true once it owns `name`.
    // With `log`, the mock writes every call it takes there, one per line.
    bool mock(const std::string& name, const std::string& parameters, const char* busName,
              const std::string& log = "");

    // Sets a property of a mock object; it tells its watchers at once.
    void set(const char* busName, const char* path, const char* interface, const char* property, GVariant* value);
    // Calls a method and waits for its reply (unreffed here); false, with a test failure,
    // when it fails.
    bool call(const char* busName, const char* path, const char* interface, const char* method, GVariant* args);

private:
    bool owned(const char* busName);

    std::string address_, why_;
    int busPid_ = -1;
    std::vector<int> pids_;
    GDBusConnection* connection_ = nullptr;
};

}  // namespace zorvan::test
