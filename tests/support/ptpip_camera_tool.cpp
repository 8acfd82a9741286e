// Serves a simulated camera preset over PTP/IP until interrupted, for trying PTP/IP initiators
// by hand: zeta_ptpip_camera [generic|nikon|canon|sony]
#include "platform/camera/simulated_camera.h"
#include "support/ptpip_endpoint.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "generic";
    auto camera = zeta::platform::SimulatedCamera::preset(name);
    if (!camera) {
        std::cerr << "no preset " << name << "\n";
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // the endpoint's threads inherit the mask
    test_support::PTPIPEndpoint endpoint(camera);
    std::cout << endpoint.portArgument() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    for (const auto& why : endpoint.rejections())
        std::cerr << "rejected: " << why << "\n";
    return 0;
}
