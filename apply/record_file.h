// A file of one-line records written ahead of the steps they announce: each record is on disk
// before Append returns, and read back, a line that an interruption cut short does not count.
#pragma once

#include <string>
#include <vector>
#include "kernel/files/unique_fd.h"

namespace ZephPatch {

// REQUIRES: one writer of a file at a time.
class RecordFile {
public:
    explicit RecordFile(std::string path) : m_path(std::move(path)) {}
    ~RecordFile() { Close(); }
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Appends `line` and a line end and flushes them to disk; the file is created at the first
    // record, with its name flushed to disk as well. False when any of that failed.
    [[nodiscard]] bool Append(const std::string& line);
    // Whether a record was appended since the file was last closed.
    [[nodiscard]] bool IsOpen() const { return m_fd.IsOpen(); }
    void Close();
    [[nodiscard]] const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    ZephUtil::UniqueFd m_fd;
};

// The complete lines of a record file. False when it cannot be read.
[[nodiscard]] bool ReadRecords(const std::string& path, std::vector<std::string>* records);

}  // namespace ZephPatch
