#include "support/MockSystemBus.h"

#include "host/Process.h"

#include <gtest/gtest.h>

#include <gio/gio.h>
#include <signal.h>

#include <fstream>

namespace zorvan::test {

MockSystemBus::MockSystemBus(const TempDir& dir) {
    gchar* daemon = g_find_program_in_path("dbus-daemon");
    const bool haveDaemon = daemon != nullptr;
    g_free(daemon);
    if (!haveDaemon) {
        why_ = "dbus-daemon is not installed";
        return;
    }
    if (runProcess(SYSTEM_PYTHON, {"-c", "import dbusmock"}).exitCode != 0) {
        why_ = "python3-dbusmock is not installed";
        return;
    }
    const std::string socket = dir.file("system_bus_socket"), config = dir.file("bus.conf");
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <listen>unix:path="
                          << socket
                          << "</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow user=\"*\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "    <allow send_destination=\"*\"/>\n"
                             "    <allow receive_sender=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    ChildSetup quiet;
    quiet.quiet = true;
    quiet.ownGroup = true;
    busPid_ = spawnProcess("dbus-daemon", {"--config-file=" + config, "--nofork", "--nopidfile"}, quiet);
    address_ = "unix:path=" + socket;
    waitUntil(
        [&] {
            connection_ = g_dbus_connection_new_for_address_sync(
                address_.c_str(),
                GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                     G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, nullptr);
            return connection_ != nullptr;
        },
        10, 0.02);
    if (!connection_) why_ = "the private bus did not start";
}

MockSystemBus::~MockSystemBus() {
    for (int pid : pids_) {
        kill(pid, SIGTERM);
        waitProcess(pid, 5);
    }
    if (connection_) g_object_unref(connection_);
    if (busPid_ > 0) {
        kill(busPid_, SIGTERM);
        waitProcess(busPid_, 5);
    }
}

bool MockSystemBus::mock(const std::string& name, const std::string& parameters, const char* busName,
                         const std::string& log) {
    ChildSetup setup;
    setup.quiet = true;
    setup.env = {variable()};
    std::vector<std::string> args = {"-m", "dbusmock", "--system", "--template", name, "-p", parameters};
    if (!log.empty()) args.insert(args.end(), {"-l", log});
    const int pid = spawnProcess(SYSTEM_PYTHON, args, setup);
    if (pid <= 0) return false;
    pids_.push_back(pid);
    return waitUntil([&] { return owned(busName); }, 15, 0.05);
}

void MockSystemBus::set(const char* busName, const char* path, const char* interface, const char* property,
                        GVariant* value) {
    EXPECT_TRUE(call(busName, path, "org.freedesktop.DBus.Properties", "Set",
                     g_variant_new("(ssv)", interface, property, value)))
        << property;
}

bool MockSystemBus::call(const char* busName, const char* path, const char* interface, const char* method,
                         GVariant* args) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(connection_, busName, path, interface, method, args, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    EXPECT_TRUE(reply) << method << ": " << (error ? error->message : "");
    if (reply) g_variant_unref(reply);
    if (error) g_error_free(error);
    return reply != nullptr;
}

bool MockSystemBus::owned(const char* busName) {
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", busName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    gboolean has = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &has);
        g_variant_unref(reply);
    }
    return has;
}

}  // namespace zorvan::test
