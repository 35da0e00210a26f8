#include "transfer/checked_file_buffer.h"

#include <utility>

namespace ZephUtil {
namespace {

// Bytes handed to the hashing thread at a time: big enough that the flush and the wake-up
// cost nothing next to the transfer, small enough that little is left to hash at the end.
constexpr uint64_t kDeclareStep = 1 << 20;

}  // namespace

CheckedFileBuffer::CheckedFileBuffer(ZephDataBufferFile* file, std::string path,
                                     const ExpectedContent& expected)
    : CappedBuffer(file, expected.size),
      m_path(std::move(path)),
      m_expected(expected),
      m_follower(std::make_unique<FileHashFollower>(m_path)) {}

void CheckedFileBuffer::Changing(uint64_t position) {
    if (position >= m_declared)
        return;
    m_follower.reset();  // stops the old thread before the new one reads
    m_follower = std::make_unique<FileHashFollower>(m_path);
    m_declared = 0;
}

void CheckedFileBuffer::DeclareWhatArrived() {
    FlushBuffer();
    m_declared = GetSize();
    m_follower->Advance(m_declared);
}

int CheckedFileBuffer::SetSize(uint64_t size) {
    Changing(size);
    return CappedBuffer::SetSize(size);
}

int CheckedFileBuffer::Write(const void* bytes, uint32_t count) {
    Changing(GetPosition());
    const int result = CappedBuffer::Write(bytes, count);
    if (result == kBufOk && GetSize() >= m_declared + kDeclareStep)
        DeclareWhatArrived();
    return result;
}

std::string CheckedFileBuffer::Mismatch() {
    FlushBuffer();
    const uint64_t size = GetSize();
    if (size != m_expected.size)
        return "it has " + std::to_string(size) + " bytes, not " + std::to_string(m_expected.size);
    ZephPatch::Sha256Digest digest;
    if (!m_follower->Finish(size, &digest))
        return "it could not be read back";
    return digest == m_expected.sha256 ? std::string() : "its SHA-256 differs";
}

}  // namespace ZephUtil
