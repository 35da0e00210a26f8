#include "package/archive_writer.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "kernel/buffers/compression.h"
#include "kernel/buffers/data_buffer.h"
#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"
#include "package/patch_archive.h"

namespace ZephPack {

namespace fs = std::filesystem;
using ZephPatch::ArchiveRecordHeader;
using ZephUtil::kBufOk;

namespace {

struct TreeEntry {
    std::string relative;  // '/'-separated, below the patch folder
    bool isFile;
};

// Names the reader would refuse or split differently.
bool IsCarriableName(const std::string& name) {
    if (name.find_first_of("\\:") != std::string::npos)
        return false;
    return ZephUtil::Utf16ToUtf8(ZephUtil::Utf8ToUtf16(name)) == name;
}

// Pre-order walk with each folder's entries in byte order of their names.
bool CollectTree(const fs::path& folder, const std::string& prefix, std::vector<TreeEntry>* entries,
                 std::string* error) {
    std::error_code code;
    std::vector<fs::directory_entry> children;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code))
        children.push_back(*it);
    if (code) {
        *error = "cannot list " + folder.string() + ": " + code.message();
        return false;
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        return a.path().filename().string() < b.path().filename().string();
    });
    for (const auto& child : children) {
        const std::string name = child.path().filename().string();
        const std::string relative = prefix.empty() ? name : prefix + "/" + name;
        if (!IsCarriableName(name)) {
            *error = "name the archive cannot carry: " + relative;
            return false;
        }
        const auto status = child.symlink_status(code);
        if (fs::is_directory(status)) {
            entries->push_back({relative, false});
            if (!CollectTree(child.path(), relative, entries, error))
                return false;
        } else if (fs::is_regular_file(status)) {
            entries->push_back({relative, true});
        } else {
            *error = "neither a file nor a folder: " + relative;
            return false;
        }
    }
    return true;
}

// Version 1 tells files from folders by the extension alone.
bool FitsVersion(const std::vector<TreeEntry>& entries, uint32_t version, std::string* error) {
    if (version == ZephPatch::kArchiveVersion2)
        return true;
    for (const auto& entry : entries) {
        if (ZephPatch::IsFileNameInVersion1(entry.relative) != entry.isFile) {
            *error = std::string("format 1 would take the ") +
                     (entry.isFile ? "file " : "folder ") + entry.relative + " for a " +
                     (entry.isFile ? "folder" : "file") + "; use format 2";
            return false;
        }
    }
    return true;
}

int WriteRecord(ZephUtil::ZephDataBuffer& archive, const std::string& patchFolder,
                const TreeEntry& entry, uint32_t version) {
    ArchiveRecordHeader header;
    header.name =
        ZephUtil::Utf8ToUtf16(".\\" + ZephUtil::NormaliseSeparators(entry.relative, '\\'));
    header.isFile = entry.isFile;
    std::vector<uint8_t> bytes = ZephPatch::EncodeRecordHeader(header, version);
    ZephUtil::ZephDataBufferMemoryStatic headerBuffer(bytes.data(),
                                                      static_cast<uint32_t>(bytes.size()));
    int result = ZephUtil::CompressData(archive, headerBuffer);
    if (result != kBufOk || !entry.isFile)
        return result;
    ZephUtil::ZephDataBufferFile content(ZephUtil::JoinPath(patchFolder, entry.relative),
                                         ZephUtil::kFileRead);
    return content.IsOpen() ? ZephUtil::CompressData(archive, content) : ZephUtil::kBufNotOpen;
}

bool WriteArchive(const std::string& patchFolder, const std::vector<TreeEntry>& entries,
                  const std::string& archivePath, uint32_t version, std::string* error) {
    ZephUtil::ZephDataBufferFile archive(archivePath, ZephUtil::kFileWrite);
    if (!archive.IsOpen()) {
        *error = "cannot create " + archivePath;
        return false;
    }
    const uint8_t versionBytes[4] = {static_cast<uint8_t>(version), 0, 0, 0};
    int result = archive.Write(versionBytes, sizeof versionBytes);
    for (size_t i = 0; i < entries.size() && result == kBufOk; ++i) {
        result = WriteRecord(archive, patchFolder, entries[i], version);
        if (result != kBufOk)
            *error = "cannot archive " + entries[i].relative;
    }
    if (result == kBufOk && !archive.Commit()) {
        result = ZephUtil::kBufIoError;
        *error = "cannot write " + archivePath;
    }
    if (result != kBufOk && error->empty())
        *error = "cannot write " + archivePath;
    return result == kBufOk;
}

}  // namespace

bool WritePatchArchive(const std::string& patchFolder, const std::string& archivePath,
                       uint32_t version, std::string* error) {
    error->clear();
    std::vector<TreeEntry> entries;
    if (!ZephUtil::IsDirectory(patchFolder)) {
        *error = "not a folder: " + patchFolder;
        return false;
    }
    if (!CollectTree(patchFolder, "", &entries, error) || !FitsVersion(entries, version, error))
        return false;
    if (WriteArchive(patchFolder, entries, archivePath, version, error))
        return true;
    (void)ZephUtil::DeleteFileAt(archivePath);  // best effort: the failure is what counts
    return false;
}

}  // namespace ZephPack
