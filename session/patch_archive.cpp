#include "session/patch_archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "kernel/data_buffer.h"
#include "kernel/file_utils.h"
#include "kernel/system_log.h"
#include "kernel/text.h"
#include "session/block_inflate.h"

namespace ZephPatch {

using ZephUtil::Print;

namespace {

constexpr uint64_t kMaxRecordHeaderSize = 4 + 2 * uint64_t{kMaxRecordNameUnits} + 1;

// An unpacked file written straight through its descriptor, so that a failure to write the
// last bytes (a full disk) shows at Close instead of vanishing in a stream's destructor.
class UnpackedFile {
public:
    explicit UnpackedFile(const std::string& path)
        : m_fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666)) {}
    ~UnpackedFile() {
        if (m_fd >= 0)
            close(m_fd);
    }
    UnpackedFile(const UnpackedFile&) = delete;
    UnpackedFile& operator=(const UnpackedFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    bool Write(const uint8_t* bytes, size_t count) {
        while (count > 0) {
            ssize_t written = write(m_fd, bytes, count);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            bytes += written;
            count -= static_cast<size_t>(written);
        }
        return true;
    }

    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

private:
    int m_fd;
};

bool ReadVersion(ZephUtil::ZephDataBuffer& archive, uint32_t* version) {
    uint8_t bytes[4];
    if (archive.Read(bytes, sizeof bytes) != ZephUtil::kBufOk)
        return false;
    *version = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
    return *version == kArchiveVersion1 || *version == kArchiveVersion2;
}

// A directory record for the archive's root names the target folder itself.
bool IsRootName(const std::string& name) {
    return name == "." || name == ".\\" || name == "./";
}

// Unpacks one archive into one folder; the members live as long as the unpacking.
class ArchiveUnpacker {
public:
    ArchiveUnpacker(ZephUtil::ZephDataBuffer& archive, std::string target, uint32_t version)
        : m_archive(archive), m_target(std::move(target)), m_version(version) {}

    int UnpackRecord();

private:
    int UnpackFile(const std::string& path);

    ZephUtil::ZephDataBuffer& m_archive;
    std::string m_target;
    uint32_t m_version;
    BlockSequenceInflater m_inflater;
};

int ArchiveUnpacker::UnpackRecord() {
    std::vector<uint8_t> bytes;
    auto collect = [&bytes](const uint8_t* data, size_t count) {
        bytes.insert(bytes.end(), data, data + count);
        return true;
    };
    ArchiveRecordHeader header;
    if (m_inflater.Inflate(m_archive, collect, kMaxRecordHeaderSize) != InflateResult::kOk ||
        !DecodeRecordHeader(bytes, m_version, &header)) {
        Print("UnpackArchive> damaged record header at %llu",
              static_cast<unsigned long long>(m_archive.GetPosition()));
        return kUnpackDamaged;
    }
    const std::string name = ZephUtil::Utf16ToUtf8(header.name);
    if (!header.isFile && IsRootName(name))
        return kUnpackOk;
    std::string relative;
    if (!ZephUtil::ToSafeRelativePath(name, &relative)) {
        Print("UnpackArchive> refused record name: %s", name.c_str());
        return kUnpackUnsafeName;
    }
    const std::string path = ZephUtil::JoinPath(m_target, relative);
    if (header.isFile)
        return UnpackFile(path);
    if (ZephUtil::MakeDirectory(path))
        return kUnpackOk;
    Print("UnpackArchive> unable to create folder %s", path.c_str());
    return kUnpackWriteFailed;
}

int UnpackArchiveFile(UnpackedFile& file, BlockSequenceInflater& inflater,
                      ZephUtil::ZephDataBuffer& archive) {
    auto write = [&file](const uint8_t* data, size_t count) { return file.Write(data, count); };
    switch (inflater.Inflate(archive, write, UINT64_MAX)) {
        case InflateResult::kOk:
            return file.Close() ? kUnpackOk : kUnpackWriteFailed;
        case InflateResult::kSinkFailed:
            return kUnpackWriteFailed;
        case InflateResult::kDamaged:
            break;
    }
    return kUnpackDamaged;
}

int ArchiveUnpacker::UnpackFile(const std::string& path) {
    UnpackedFile file(path);
    if (!file.IsOpen()) {
        Print("UnpackArchive> unable to create %s", path.c_str());
        return kUnpackWriteFailed;
    }
    int result = UnpackArchiveFile(file, m_inflater, m_archive);
    if (result == kUnpackWriteFailed)
        Print("UnpackArchive> unable to write %s", path.c_str());
    if (result == kUnpackDamaged)
        Print("UnpackArchive> damaged data for %s", path.c_str());
    return result;
}

}  // namespace

bool IsFileNameInVersion1(std::string_view name) {
    return !ZephUtil::PathExtension(name).empty();
}

std::vector<uint8_t> EncodeRecordHeader(const ArchiveRecordHeader& header, uint32_t version) {
    const auto units = static_cast<uint32_t>(header.name.size());
    std::vector<uint8_t> bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(units >> shift));
    for (char16_t unit : header.name) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    if (version == kArchiveVersion2)
        bytes.push_back(header.isFile ? kRecordFile : kRecordDirectory);
    return bytes;
}

bool DecodeRecordHeader(const std::vector<uint8_t>& bytes, uint32_t version,
                        ArchiveRecordHeader* header) {
    if (bytes.size() < 4)
        return false;
    const uint32_t units =
        bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
    const uint64_t kindSize = version == kArchiveVersion2 ? 1 : 0;
    if (units > kMaxRecordNameUnits || bytes.size() != 4 + 2 * uint64_t{units} + kindSize)
        return false;
    std::u16string name(units, u'\0');
    for (uint32_t i = 0; i < units; ++i)
        name[i] = static_cast<char16_t>(bytes[4 + 2 * i] | (bytes[5 + 2 * i] << 8));
    bool isFile;
    if (version == kArchiveVersion2) {
        const uint8_t kind = bytes.back();
        if (kind != kRecordFile && kind != kRecordDirectory)
            return false;
        isFile = kind == kRecordFile;
    } else {
        isFile = IsFileNameInVersion1(ZephUtil::Utf16ToUtf8(name));
    }
    header->name = std::move(name);
    header->isFile = isFile;
    return true;
}

int UnpackArchive(const std::string& archivePath, const std::string& targetFolder) {
    ZephUtil::ZephDataBufferFile archive(archivePath, ZephUtil::kFileRead);
    if (!archive.IsOpen()) {
        Print("UnpackArchive> unable to open %s", archivePath.c_str());
        return kUnpackCannotOpen;
    }
    uint32_t version;
    if (!ReadVersion(archive, &version)) {
        Print("UnpackArchive> not a patch archive: %s", archivePath.c_str());
        return kUnpackBadVersion;
    }
    ArchiveUnpacker unpacker(archive, targetFolder, version);
    while (archive.GetPosition() < archive.GetSize()) {
        if (int result = unpacker.UnpackRecord(); result != kUnpackOk)
            return result;
    }
    return kUnpackOk;
}

}  // namespace ZephPatch
