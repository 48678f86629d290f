// Test program: one request to the kernel on 127.0.0.1, as a client of whatever user runs it (the
// end-to-end tests run it as another user through setpriv).
//   quor-request-client PORT Terminate|SetLogParameters|Repair|UninstallProjectRelease|CreateProcess
// Prints the answer's operation and result. Exit status: 0 answered, 1 not connected, 2 the
// connection ended (or stayed silent) without an answer, 64 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/testing/KernelClient.h"

namespace {

bool Send(QuorTest::KernelClient& client, const std::string& request) {
    using Kernel = Quor::OrvaneProtocol::IAppToOrvane;
    if (request == "Terminate") return client.Request([](Kernel& k) { k.TerminateRequest(0, 1); });
    if (request == "SetLogParameters") return client.Request([](Kernel& k) { k.SetLogParametersRequest(0, 1, 4); });
    if (request == "Repair") return client.Request([](Kernel& k) { k.RepairRequest(0, 1, 1); });
    if (request == "UninstallProjectRelease")
        return client.Request([](Kernel& k) { k.UninstallProjectReleaseRequest(0, 1, "kiv_launcher", 1); });
    if (request == "CreateProcess")
        return client.Request([](Kernel& k) {
            k.CreateProcessRequest(0, 1, "kiv_launcher", 1, "KivLauncher.app", "from-another-user");
        });
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 64;
    const int port = std::atoi(argv[1]);
    if (port <= 0 || port > 65535) return 64;
    const std::string request = argv[2];
    bool known = false;
    for (const char* name : {"Terminate", "SetLogParameters", "Repair", "UninstallProjectRelease", "CreateProcess"})
        known = known || request == name;
    if (!known) return 64;
    QuorTest::KernelClient client(static_cast<uint16_t>(port));
    if (!client.Connected()) return 1;
    if (!Send(client, request)) return 2;
    const auto answer = client.Answer(10000);
    if (!answer) return 2;
    std::printf("%s 0x%08x\n", answer->operation.c_str(), static_cast<unsigned>(answer->hr));
    return 0;
}
