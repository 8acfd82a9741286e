// The bus's server as a process of its own, with one driver as its subprocess, so that the
// wire benchmarks can measure it as they measure indiserver (its CPU time, its memory).
// Usage: zeta_bench_server PORT DRIVER; SIGTERM or SIGINT ends it.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_remote.h"
#include "indigo/indigo_server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PORT DRIVER\n", argv[0]);
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); // every thread started from here inherits it

    indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
    indigo_server_tcp_port = std::atoi(argv[1]);
    indigo_subprocess_entry* driver = nullptr;
    if (indigo_start_subprocess(argv[2], &driver) != INDIGO_OK) {
        std::fprintf(stderr, "cannot run %s\n", argv[2]);
        return 1;
    }
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        indigo_server_shutdown();
    });
    const indigo_result result = indigo_server_start(nullptr);
    if (result != INDIGO_OK) {
        // Not listening: nothing will signal the waiting thread but us.
        pthread_kill(stopper.native_handle(), SIGTERM);
    }
    stopper.join();
    indigo_kill_subprocess(driver);
    return result == INDIGO_OK ? 0 : 1;
}
