#include "apply/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "apply/file_ops.h"
#include "apply/patch_list.h"
#include "kernel/files/file_utils.h"

namespace ZephPatch {

bool RecordFile::Append(const std::string& line) {
    if (!m_fd.IsOpen()) {
        m_fd.Reset(ZephUtil::OpenForWriting(m_path, O_WRONLY | O_CREAT | O_APPEND, 0644));
        if (!m_fd.IsOpen())
            return false;
        if (!SyncDirectory(ParentFolder(m_path)))
            return false;
    }
    const std::string record = line + "\n";
    size_t done = 0;
    while (done < record.size()) {
        const ssize_t written = ::write(m_fd.Get(), record.data() + done, record.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return ZephUtil::SyncFile(m_fd.Get());
}

void RecordFile::Close() {
    m_fd.Reset();
}

bool ReadRecords(const std::string& path, std::vector<std::string>* records) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes))
        return false;
    std::string text(bytes.begin(), bytes.end());
    const size_t lastEnd = text.rfind('\n');
    text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    *records = SplitLines(text);
    return true;
}

}  // namespace ZephPatch
