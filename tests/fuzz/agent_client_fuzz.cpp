// The repair client reading a server's answer: the fuzz input is the server's whole side of the
// conversation (its version, the segment count, the segment messages). Whatever it says, the
// job ends, and nothing is written outside the installation.
#include <set>
#include <string>
#include <thread>

#include "repair/agent_client.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orvik_fuzz::LoopbackListener server;
    // The installation sits two levels down, so that a key climbing out of it lands where it
    // shows.
    const std::string box = orvik_fuzz::FreshFolder("box");
    const std::string installation = box + "/install";
    std::filesystem::create_directory(installation);
    std::thread serve([&] {
        const int connection = server.Accept();
        if (connection >= 0)
            orvik_fuzz::SendAllThenDrain(connection, data, size);
    });
    {
        ZephPatch::ZephAgentClient client;
        FUZZ_CHECK(client.SetInstallDirectory(installation + "/") == 0 &&
                   client.SetChecksumFile(installation + "/repair.cks") == 0 &&
                   client.SetServerAddress({0x7F000001, server.Port()}) == 0);
        client.StartRepair();
        while (client.IsRunning())
            client.WaitForChange(100);
    }
    serve.join();
    FUZZ_CHECK(orvik_fuzz::EntryNames(box) == std::set<std::string>{"install"});
    return 0;
}
