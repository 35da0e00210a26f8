#include "tools/orbpatch/mapped_file.h"

#include "tools/orbpatch/windows_file.h"

namespace OrbPatch {

MappedFile::~MappedFile() {
    Close();
}

void MappedFile::Close() {
    if (m_data != nullptr) {
        UnmapViewOfFile(m_data);
        m_data = nullptr;
        m_size = 0;
    }
}

bool MappedFile::Open(const std::string& path, std::string* why) {
    uint64_t size = 0;
    bool readOnly = false;
    HANDLE file = OpenForReading(path, &size, &readOnly, why);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    if (size > 0) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        void* data = mapping == nullptr ? nullptr : MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        if (data == nullptr) {
            *why = LastErrorText();
            ok = false;
        } else {
            m_data = static_cast<const uint8_t*>(data);
            m_size = static_cast<size_t>(size);
        }
        if (mapping != nullptr) {
            CloseHandle(mapping);  // the view keeps the mapping alive
        }
    }
    m_mode = ModeFromReadOnly(readOnly);
    CloseHandle(file);
    return ok;
}

}  // namespace OrbPatch
