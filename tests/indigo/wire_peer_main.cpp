// A second bus in a process of its own, for the tests that connect two: it serves a fixture
// device on 127.0.0.1 and writes the port it got into the file named by its first argument.
// It runs until it is killed.

#include "indigo/indigo_server.h"
#include "wire_fixtures.h"

#include <cstdio>
#include <string>

namespace {

std::string portFile;

void started(int count) {
    if (count != 0 || portFile.empty()) return;
    const std::string partial = portFile + ".part";
    if (FILE* out = std::fopen(partial.c_str(), "w")) {
        std::fprintf(out, "%d\n", indigo_server_tcp_port);
        std::fclose(out);
        std::rename(partial.c_str(), portFile.c_str());
    }
    portFile.clear();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PORT-FILE [DEVICE-NAME]\n", argv[0]);
        return 2;
    }
    portFile = argv[1];
    wire_test::FixtureDevice device(argc > 2 ? argv[2] : "Remote Fixture", 11);
    indigo_attach_device(&device.device);
    indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
    indigo_server_tcp_port = 0;
    return indigo_server_start(started) == INDIGO_OK ? 0 : 1;
}
