// The zeta executable as a user starts it: its command line, and a run with a simulated camera
// that an INDI client sees on Zeta's server port, ended by a termination request.

#include "support/process.h"

#include "platform/constants.h"
#include "support/command.h"
#include "support/eventually.h"
#include "support/free_port.h"
#include "support/temp_dir.h"

#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace test_support;
using ::testing::HasSubstr;

namespace {

const std::string kZeta = std::string(ZETA_BINARY_DIR) + "/src/app/zeta";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool listening(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return up;
}

} // namespace

TEST(ZetaProcess, HelpAndVersionAnswerAndExit) {
    const std::string help = commandOutput(kZeta + " --help");
    EXPECT_THAT(help, HasSubstr("Usage: zeta"));
    EXPECT_THAT(help, HasSubstr("--version"));
    EXPECT_THAT(commandOutput(kZeta + " --version"), HasSubstr(APP_NAME() + " " + APP_VERSION()));
}

TEST(ZetaProcess, SimulatedCameraOnItsServerAndACleanQuit) {
    TempDir home("zeta-app-process");
    const int port = freePort();
    std::filesystem::create_directories(home.path() / "config" / "Zeta");
    std::ofstream(home.path() / "config" / "Zeta" / "org.zeta.Zeta.json")
        << "{\"indigoPortNumber\": " << port << ", \"initialized_" << APP_VERSION() << "\": true}";
    const std::string out = (home.path() / "zeta.out").string();
    Process zeta({kZeta},
                 {{"HOME", home.path().string()},
                  {"XDG_CONFIG_HOME", (home.path() / "config").string()},
                  {"XDG_DATA_HOME", (home.path() / "data").string()},
                  {"QT_QPA_PLATFORM", "offscreen"},
                  {"ZETA_SIMULATED_CAMERAS", "generic"}},
                 out);

    ASSERT_TRUE(eventually([&] { return listening(port) || !zeta.running(); }));
    ASSERT_TRUE(zeta.running()) << readFile(out + ".err");
    const std::string listingPath = (home.path() / "getprop.txt").string();
    std::string text;
    ASSERT_TRUE(eventually([&] {
        Process getprop(
            {"indi_getprop", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "1", "Simulated Camera.CONNECTION.*"},
            {{"HOME", home.path().string()}}, listingPath);
        getprop.wait();
        text = readFile(listingPath);
        return text.find("Simulated Camera.CONNECTION.") != std::string::npos;
    })) << text;
    // Whatever Zeta started (driver processes, decoder helpers) ends with it.
    const std::vector<pid_t> children = test_support::childrenOf(zeta.pid());

    zeta.signal(SIGTERM);
    const int status = zeta.wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(listening(port));
    for (const pid_t child : children)
        EXPECT_NE(::kill(child, 0), 0) << child;
    EXPECT_THAT(readFile(out + ".err"), HasSubstr("INDIGO Started..."));
    EXPECT_THAT(readFile(out + ".err"),
                HasSubstr(APP_NAME() + " " + APP_VERSION() + "_" + APP_BUILD() + " INDIGO 2.0_56 OS "));
}
