// A process of the product as it uses the asset database's coordination record: the 8-bit
// Win32 calls, its own names and its own view of the 36 bytes, nothing of the installer's code.
// The tests check that the installer and the product find, read and change the same record.
//
//   product_record_user DATABASE COMMAND...
//     attach          open the record (creating it when first) and count the attachment
//     own             become owner when nobody is (prints "own 1" or "own 0")
//     disown          give ownership up
//     show            print the record as "primary P owner O requester R version V count C
//                     exclusive E"
//     ready           print "ready"
//     wait-file PATH  wait until PATH exists (at most 30 s)
//     detach          uncount the attachment and close the record
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The record's fields by their byte offsets.
enum Offset : size_t {
    kPrimary = 0,
    kOwner = 4,
    kRequester = 8,
    kVersion = 16,
    kCount = 20,
    kExclusive = 24,
    kSize = 36,
};

HANDLE g_mutex = nullptr;
HANDLE g_mapping = nullptr;
unsigned char* g_record = nullptr;

int32_t Field(size_t offset) {
    int32_t value;
    std::memcpy(&value, g_record + offset, sizeof value);
    return value;
}

void SetField(size_t offset, int32_t value) {
    std::memcpy(g_record + offset, &value, sizeof value);
}

// "09731AC6-B611-4e2a-B181-578073F64F24/" + the database's folder, lower case, with '/'.
std::string MutexName(std::string database) {
    database.resize(database.size() - std::strlen("\\assets.tdx"));
    for (char& c : database)
        c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "09731AC6-B611-4e2a-B181-578073F64F24/" + database;
}

bool Attach(const std::string& database) {
    const std::string name = MutexName(database);
    g_mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    const bool created = g_mutex && GetLastError() != ERROR_ALREADY_EXISTS;
    if (!g_mutex || (!created && WaitForSingleObject(g_mutex, 30000) == WAIT_TIMEOUT))
        return false;
    g_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize,
                                   (name + "/-ipc2").c_str());
    g_record = static_cast<unsigned char*>(
        g_mapping ? MapViewOfFile(g_mapping, FILE_MAP_ALL_ACCESS, 0, 0, kSize) : nullptr);
    if (g_record && created) {
        SetField(kPrimary, static_cast<int32_t>(GetCurrentProcessId()));
        SetField(kOwner, -1);
        SetField(kRequester, -1);
        SetField(kVersion, 3);
        g_record[kCount] = 1;
    } else if (g_record) {
        ++g_record[kCount];
    }
    ReleaseMutex(g_mutex);
    return g_record != nullptr;
}

void Detach() {
    WaitForSingleObject(g_mutex, INFINITE);
    --g_record[kCount];
    ReleaseMutex(g_mutex);
    UnmapViewOfFile(g_record);
    CloseHandle(g_mapping);
    CloseHandle(g_mutex);
}

bool Own() {
    WaitForSingleObject(g_mutex, INFINITE);
    const bool free = Field(kOwner) == -1 && Field(kExclusive) == 0;
    if (free)
        SetField(kOwner, static_cast<int32_t>(GetCurrentProcessId()));
    ReleaseMutex(g_mutex);
    return free;
}

void Show() {
    std::printf("primary %d owner %d requester %d version %d count %d exclusive %d\n",
                Field(kPrimary), Field(kOwner), Field(kRequester), Field(kVersion),
                static_cast<int8_t>(g_record[kCount]), Field(kExclusive));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const std::string database = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string command = argv[i];
        if (command == "attach") {
            if (!Attach(database))
                return 1;
        } else if (command == "own") {
            std::printf("own %d\n", Own());
        } else if (command == "disown") {
            SetField(kOwner, -1);
        } else if (command == "show") {
            Show();
        } else if (command == "ready") {
            std::printf("ready\n");
        } else if (command == "wait-file" && i + 1 < argc) {
            const std::string path = argv[++i];
            for (int t = 0; t < 3000 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
                 ++t)
                Sleep(10);
        } else if (command == "detach") {
            Detach();
        }
        std::fflush(stdout);
    }
    return 0;
}
