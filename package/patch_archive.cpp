#include "package/patch_archive.h"

#include <chrono>
#include <deque>
#include <future>
#include <set>

#include "kernel/buffers/block_io.h"
#include "kernel/buffers/capped_buffer.h"
#include "kernel/buffers/compression.h"
#include "kernel/buffers/data_buffer.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"
#include "kernel/system/text.h"
#include "kernel/threads/worker_pool.h"
#include "package/unpacked_file.h"

namespace ZephPatch {

using ZephUtil::kBufOk;
using ZephUtil::Print;

namespace {

constexpr uint32_t kMaxRecordHeaderSize = 4 + 2 * kMaxRecordNameUnits + 1;

bool ReadVersion(ZephUtil::ZephDataBuffer& archive, uint32_t* version) {
    return ZephUtil::ReadUint32(archive, version) == kBufOk &&
           (*version == kArchiveVersion1 || *version == kArchiveVersion2);
}

// A directory record for the archive's root names the target folder itself.
bool IsRootName(const std::string& name) {
    return name == "." || name == ".\\" || name == "./";
}

// One file record's contents, decoded from its own handle on the archive so that several
// files unpack at once. `allowance` is what the files may still take when this one begins.
int UnpackFile(const std::string& archivePath, uint64_t offset, const std::string& path,
               uint64_t allowance) {
    ZephUtil::ZephDataBufferFile archive(archivePath, ZephUtil::kFileRead);
    if (!archive.IsOpen() || archive.Seek(offset) != kBufOk) {
        Print("UnpackArchive> unable to open %s", archivePath.c_str());
        return kUnpackCannotOpen;
    }
    UnpackedFile file(path);
    if (!file.IsOpen()) {
        Print("UnpackArchive> unable to create %s", path.c_str());
        return kUnpackWriteFailed;
    }
    ZephUtil::CappedBuffer capped(&file, allowance);
    const int result = ZephUtil::DecompressData(capped, archive);
    if (capped.Overflowed()) {
        Print("UnpackArchive> %s would take more than the bytes left for the patch", path.c_str());
        return kUnpackTooLarge;
    }
    if (!file.Close()) {
        Print("UnpackArchive> unable to write %s", path.c_str());
        return kUnpackWriteFailed;
    }
    if (result != kBufOk) {
        Print("UnpackArchive> damaged data for %s", path.c_str());
        return kUnpackDamaged;
    }
    return kUnpackOk;
}

// Unpacks one archive into one folder. This thread walks the records, makes the folders and
// skips over each file's data; the files are decoded on a pool. The result is the first
// fault in record order, as if the records had been unpacked one after the other.
class ArchiveUnpacker {
public:
    ArchiveUnpacker(ZephUtil::ZephDataBuffer& archive, std::string archivePath, std::string target,
                    uint32_t version, uint64_t maxBytes)
        : m_archive(archive),
          m_archivePath(std::move(archivePath)),
          m_target(std::move(target)),
          m_version(version),
          m_left(maxBytes) {}

    int Run();

private:
    int UnpackRecord();
    bool ReadHeader(ArchiveRecordHeader* header);
    int StartFile(const std::string& path);
    // The first fault among the files started, in record order; waits for them when `wait`.
    int FirstFault(bool wait);

    ZephUtil::ZephDataBuffer& m_archive;
    std::string m_archivePath;
    std::string m_target;
    uint32_t m_version;
    uint64_t m_left;  // bytes the files may still take
    // A header that decodes to more than this is damaged: it is never held whole.
    std::vector<uint8_t> m_headerBytes = std::vector<uint8_t>(kMaxRecordHeaderSize);
    std::set<std::string> m_files;
    std::deque<std::future<int>> m_started;
    int m_fault = kUnpackOk;      // of the files started
    ZephUtil::WorkerPool m_pool;  // last: it waits for the files still being written
};

int ArchiveUnpacker::Run() {
    int result = kUnpackOk;
    while (result == kUnpackOk && m_archive.GetPosition() < m_archive.GetSize()) {
        result = UnpackRecord();
        if (const int fault = FirstFault(false); fault != kUnpackOk)
            return fault;
    }
    const int fault = FirstFault(true);
    return fault != kUnpackOk ? fault : result;
}

int ArchiveUnpacker::FirstFault(bool wait) {
    while (m_fault == kUnpackOk && !m_started.empty()) {
        std::future<int>& next = m_started.front();
        if (!wait && next.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            break;
        m_fault = next.get();
        m_started.pop_front();
    }
    return m_fault;
}

bool ArchiveUnpacker::ReadHeader(ArchiveRecordHeader* header) {
    ZephUtil::ZephDataBufferMemoryStatic bytes(m_headerBytes.data(), kMaxRecordHeaderSize);
    return ZephUtil::DecompressData(bytes, m_archive) == kBufOk &&
           DecodeRecordHeader(m_headerBytes.data(), bytes.GetPosition(), m_version, header);
}

int ArchiveUnpacker::UnpackRecord() {
    ArchiveRecordHeader header;
    if (!ReadHeader(&header)) {
        Print("UnpackArchive> damaged record header before %llu",
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
        return StartFile(path);
    if (ZephUtil::MakeDirectory(path))
        return kUnpackOk;
    Print("UnpackArchive> unable to create folder %s", path.c_str());
    return kUnpackWriteFailed;
}

// Starts decoding the file and moves past its data. A file named twice is written once the
// earlier writes are done, so that the last one wins. When its data cannot be skipped the
// decoder meets the same fault and reports it in its place.
int ArchiveUnpacker::StartFile(const std::string& path) {
    if (!m_files.insert(path).second) {
        if (const int fault = FirstFault(true); fault != kUnpackOk)
            return fault;
    }
    const uint64_t offset = m_archive.GetPosition();
    const uint64_t allowance = m_left;
    uint64_t length = 0;
    const int skipped = ZephUtil::SkipCompressedData(m_archive, &length);
    m_started.push_back(m_pool.Submit([this, offset, path, allowance] {
        return UnpackFile(m_archivePath, offset, path, allowance);
    }));
    if (skipped != kBufOk)
        return kUnpackDamaged;
    if (length > allowance)
        return kUnpackTooLarge;
    m_left -= length;
    return kUnpackOk;
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

bool DecodeRecordHeader(const uint8_t* bytes, uint64_t size, uint32_t version,
                        ArchiveRecordHeader* header) {
    if (size < 4)
        return false;
    const uint32_t units =
        bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
    const uint64_t kindSize = version == kArchiveVersion2 ? 1 : 0;
    if (units > kMaxRecordNameUnits || size != 4 + 2 * uint64_t{units} + kindSize)
        return false;
    std::u16string name(units, u'\0');
    for (uint32_t i = 0; i < units; ++i)
        name[i] = static_cast<char16_t>(bytes[4 + 2 * i] | (bytes[5 + 2 * i] << 8));
    bool isFile;
    if (version == kArchiveVersion2) {
        const uint8_t kind = bytes[size - 1];
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

int UnpackArchive(const std::string& archivePath, const std::string& targetFolder,
                  uint64_t maxBytes) {
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
    return ArchiveUnpacker(archive, archivePath, targetFolder, version, maxBytes).Run();
}

}  // namespace ZephPatch
