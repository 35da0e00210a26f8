#include "package/container_writer.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "kernel/buffers/data_buffer.h"
#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "package/container_format.h"
#include "package/embedded_patch_container.h"
#include "package/patch_archive.h"

namespace ZephPack {

using ZephPatch::DirectoryEntry;
using ZephUtil::kBufOk;
using ZephUtil::ZephDataBufferFile;

namespace {

constexpr uint32_t kCopyChunk = 1 << 20;

bool IsBuildText(const std::string& build) {
    return !build.empty() && build.size() <= ZephPatch::kMaxBuildLength &&
           std::all_of(build.begin(), build.end(), [](char c) { return c > ' ' && c < 127; });
}

bool CheckBuilds(const std::vector<EmbeddedPatch>& patches, std::string* error) {
    for (size_t i = 0; i < patches.size(); ++i) {
        for (const auto* build : {&patches[i].fromBuild, &patches[i].toBuild}) {
            if (!IsBuildText(*build)) {
                *error = "a build must be 1 to 31 printable ASCII characters: " + *build;
                return false;
            }
        }
        if (patches[i].fromBuild == patches[i].toBuild) {
            // It would leave the installation at the build it started from: a slip of the hand.
            *error = "a patch from build " + patches[i].fromBuild + " to itself";
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (patches[j].fromBuild == patches[i].fromBuild) {
                // The reader takes the first record of a build; a second one could never apply.
                *error = "two patches from build " + patches[i].fromBuild;
                return false;
            }
        }
    }
    return true;
}

bool IsPatchArchive(ZephDataBufferFile& archive) {
    uint8_t bytes[4];
    if (archive.Read(bytes, sizeof bytes) != kBufOk || archive.Seek(0) != kBufOk)
        return false;
    return bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0 &&
           (bytes[0] == ZephPatch::kArchiveVersion1 || bytes[0] == ZephPatch::kArchiveVersion2);
}

int CopyAll(ZephDataBufferFile& source, ZephDataBufferFile& destination) {
    std::vector<uint8_t> buffer(kCopyChunk);
    for (uint64_t left = source.GetSize(); left > 0;) {
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(left, buffer.size()));
        if (int result = source.Read(buffer.data(), chunk); result != kBufOk)
            return result;
        if (int result = destination.Write(buffer.data(), chunk); result != kBufOk)
            return result;
        left -= chunk;
    }
    return kBufOk;
}

// The open inputs and the layout they give.
struct EmbedPlan {
    std::unique_ptr<ZephDataBufferFile> installer;
    std::vector<std::unique_ptr<ZephDataBufferFile>> archives;
    ZephPatch::ContainerHeader header;
    uint64_t headerOffset = 0;
    std::vector<DirectoryEntry> entries;
};

bool OpenInputs(const std::string& installerPath, const std::vector<EmbeddedPatch>& patches,
                EmbedPlan* plan, std::string* error) {
    ZephPatch::EmbeddedPatchContainer existing;
    if (existing.OpenContainer(installerPath) == ZephPatch::kContainerOpened) {
        *error = installerPath + " already carries patches";
        return false;
    }
    plan->installer = std::make_unique<ZephDataBufferFile>(installerPath, ZephUtil::kFileRead);
    if (!plan->installer->IsOpen()) {
        *error = "cannot read " + installerPath;
        return false;
    }
    for (const auto& patch : patches) {
        auto archive = std::make_unique<ZephDataBufferFile>(patch.archivePath, ZephUtil::kFileRead);
        if (!archive->IsOpen() || !IsPatchArchive(*archive)) {
            *error = "not a readable patch archive: " + patch.archivePath;
            return false;
        }
        plan->archives.push_back(std::move(archive));
    }
    return true;
}

bool Lay(const std::vector<EmbeddedPatch>& patches, EmbedPlan* plan, std::string* error) {
    const uint64_t align = ZephPatch::kContainerAlignment;
    plan->headerOffset = (plan->installer->GetSize() + align - 1) / align * align;
    uint64_t offset = plan->headerOffset + ZephPatch::kContainerHeaderSize;
    for (size_t i = 0; i < patches.size(); ++i) {
        const uint64_t length = plan->archives[i]->GetSize();
        plan->entries.push_back({patches[i].fromBuild, patches[i].toBuild, offset, length});
        offset += length;
    }
    const uint64_t total = offset + uint64_t{ZephPatch::kDirectoryEntrySize} * patches.size();
    if (total > UINT32_MAX) {
        *error = "the installer with its patches would reach 4 GiB";
        return false;
    }
    plan->header.totalSize = static_cast<uint32_t>(total);
    plan->header.entryCount = static_cast<uint32_t>(patches.size());
    plan->header.directoryOffset = offset;
    return true;
}

int WriteOutput(EmbedPlan& plan, ZephDataBufferFile& output) {
    int result = CopyAll(*plan.installer, output);
    const std::vector<uint8_t> padding(plan.headerOffset - plan.installer->GetSize(), 0);
    if (result == kBufOk && !padding.empty())
        result = output.Write(padding.data(), static_cast<uint32_t>(padding.size()));
    const auto header = ZephPatch::EncodeContainerHeader(plan.header);
    if (result == kBufOk)
        result = output.Write(header.data(), header.size());
    for (size_t i = 0; i < plan.archives.size() && result == kBufOk; ++i)
        result = CopyAll(*plan.archives[i], output);
    for (size_t i = 0; i < plan.entries.size() && result == kBufOk; ++i) {
        const auto entry = ZephPatch::EncodeDirectoryEntry(plan.entries[i]);
        result = output.Write(entry.data(), entry.size());
    }
    if (result == kBufOk && !output.Commit())
        result = ZephUtil::kBufIoError;
    return result;
}

// Creating the output truncates it, so it must not be one of the inputs.
bool OutputIsAnInput(const std::string& installerPath, const std::string& outputPath,
                     const std::vector<EmbeddedPatch>& patches) {
    const auto isOutput = [&outputPath](const std::string& input) {
        std::error_code code;
        return std::filesystem::equivalent(input, outputPath, code);
    };
    return isOutput(installerPath) ||
           std::any_of(patches.begin(), patches.end(),
                       [&](const EmbeddedPatch& patch) { return isOutput(patch.archivePath); });
}

}  // namespace

bool EmbedPatches(const std::string& installerPath, const std::string& outputPath,
                  const std::vector<EmbeddedPatch>& patches, std::string* error) {
    EmbedPlan plan;
    if (patches.empty()) {
        *error = "no patch to embed";
        return false;
    }
    if (OutputIsAnInput(installerPath, outputPath, patches)) {
        *error = "the output would overwrite an input";
        return false;
    }
    if (!CheckBuilds(patches, error) || !OpenInputs(installerPath, patches, &plan, error) ||
        !Lay(patches, &plan, error))
        return false;
    int result;
    {
        ZephDataBufferFile output(outputPath, ZephUtil::kFileWrite);
        if (!output.IsOpen()) {
            *error = "cannot create " + outputPath;
            return false;
        }
        result = WriteOutput(plan, output);
    }
    if (result != kBufOk) {
        (void)ZephUtil::DeleteFileAt(outputPath);  // best effort: the failure is what counts
        *error = "cannot write " + outputPath;
        return false;
    }
    // The copy stays as runnable as the installer was; where the mode cannot be copied the
    // publisher still has the container, and can set the mode by hand.
    (void)ZephUtil::CopyPermissions(installerPath, outputPath);
    return true;
}

}  // namespace ZephPack
