// Another process of the product, as the tests need one: attaches to the coordination record
// and holds what it is told to, reporting each step on standard output.
//
//   assetdb_peer DATABASE COMMAND...
//     attach | attach-requester   attach (prints "attach 1" or "attach 0"; 0 ends the program)
//     own | request               TryTakeOwnership without / with registering as requester
//     exclusive                   TryLockExclusive
//     admit | version0            set admitRequesters to 1 / recordVersion to 0
//     lock                        take the record's mutex and keep it
//     count                       print the attach count
//     ready                       print "ready"
//     wait-file PATH              wait until PATH exists (at most 30 s)
//     touch PATH                  create PATH
//     detach                      DetachDatabase
//     die                         end killed (SIGKILL; exit code 137 on Windows), leaving
//                                 everything as it is
#include <signal.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "assetdb/asset_database.h"
#include "kernel/files/file_utils.h"
#include "kernel/threads/thread.h"

namespace {

using namespace ZephPatch;

void Say(const char* what, long value) {
    std::printf("%s %ld\n", what, value);
    std::fflush(stdout);
}

void WaitForFile(const std::string& path) {
    for (int i = 0; i < 3000 && !ZephUtil::FileExists(path); ++i)
        OS::Sleep(10);
}

void SetField(AssetDatabaseAttachment& attachment, const char* command) {
    SharedRecordRegion* region = attachment.AttachedRecord();
    if (!region)
        return;
    RecordLock lock(*region);
    if (std::strcmp(command, "admit") == 0)
        StoreField(region->Record().admitRequesters, uint8_t{1});
    if (std::strcmp(command, "version0") == 0)
        StoreField(region->Record().recordVersion, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: assetdb_peer DATABASE COMMAND...\n");
        return 2;
    }
    const std::string database = argv[1];
    AssetDatabaseAttachment attachment;
    for (int i = 2; i < argc; ++i) {
        const std::string command = argv[i];
        const bool hasOperand = i + 1 < argc;
        if (command == "attach" || command == "attach-requester") {
            const bool attached =
                attachment.AttachDatabase(database, command == "attach-requester");
            Say("attach", attached);
            if (!attached)
                return 1;
        } else if (command == "own" || command == "request") {
            Say(command.c_str(), attachment.TryTakeOwnership(command == "request"));
        } else if (command == "exclusive") {
            Say("exclusive", attachment.TryLockExclusive());
        } else if (command == "admit" || command == "version0") {
            SetField(attachment, command.c_str());
        } else if (command == "lock") {
            if (attachment.AttachedRecord())
                (void)attachment.AttachedRecord()->Lock();  // held until the peer ends
        } else if (command == "count") {
            Say("count", attachment.GetAttachCount());
        } else if (command == "ready") {
            Say("ready", 1);
        } else if (command == "wait-file" && hasOperand) {
            WaitForFile(argv[++i]);
        } else if (command == "touch" && hasOperand) {
            std::ofstream(argv[++i]).put('\n');
        } else if (command == "detach") {
            attachment.DetachDatabase();
        } else if (command == "die") {
#ifdef _WIN32
            TerminateProcess(GetCurrentProcess(), 137);
#else
            raise(SIGKILL);
#endif
        } else {
            std::fprintf(stderr, "assetdb_peer: unknown command %s\n", command.c_str());
            return 2;
        }
    }
    return 0;
}
