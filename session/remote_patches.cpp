// The server patch chain: the catalogue of the first server that offers one, then download and
// install build after build until the catalogue has nothing newer.
#include <set>

#include "assetdb/asset_database_steps.h"
#include "kernel/files/file_utils.h"
#include "session/build_list.h"
#include "session/catalogue_trust.h"
#include "session/patch_catalogue_loader.h"
#include "session/patch_thread.h"
#include "session/session_messages.h"
#include "session/temp_names.h"
#include "transfer/download.h"
#include "transfer/fetch.h"

namespace ZephPatch {
namespace {

constexpr char kUtilityPath[] = "bin/VelmorUtil.exe";
constexpr char kBuildListPath[] = "bin/buildList.txt";
constexpr char kTextNoInstalledBuild[] =
    "Unable to determine the installed version; nothing was patched.";
constexpr char kTextUnsigned[] =
    "Patch signatures are not checked: no patch signing key is configured.";
constexpr char kTextSequenceNotStored[] =
    "Unable to record the sequence number of the signed catalogue.";

// The size and SHA-256 the signed catalogue vouches for, or why the patch cannot be trusted.
std::string Vouched(const PatchCatalogueEntry& entry, const std::string& build,
                    ZephUtil::ExpectedContent* expected) {
    if (!entry.patchDataSize || !entry.patchDataSha256)
        return "The signed catalogue gives no valid patch-data-size and patch-data-sha256 for "
               "the patch from " +
               build + "; it was not downloaded.";
    *expected = {*entry.patchDataSize, *entry.patchDataSha256};
    return {};
}

}  // namespace

bool PatchThread::QueryDownloadProgress(DownloadProgress* progress) {
    return m_task.QueryProgress(progress);
}

bool PatchThread::RunRemotePatches() {
    m_frontEnd.Report(ReportLevel::kStep, SessionMessage(kMsgSearchingForPatches));
    CatalogueTrust trust;
    std::string why;
    if (!LoadCatalogueTrust(&trust, &why)) {
        m_frontEnd.Report(ReportLevel::kError, "Patch signatures cannot be checked: " + why + ".");
        return false;
    }
    if (trust.keys.empty())
        m_frontEnd.Report(ReportLevel::kStep, kTextUnsigned);
    if (!LoadCatalogue(m_settings.patchServers, &m_task.Catalogue(), Transfers(),
                       trust.keys.empty() ? nullptr : &trust)) {
        m_outcome = SessionOutcome::kNetworkFailed;
        return false;
    }
    if (const auto& stamp = m_task.Catalogue().Stamp();
        stamp && !RecordCatalogueSequence(stamp->sequence))
        m_frontEnd.Report(ReportLevel::kInfo, kTextSequenceNotStored);
    // Builds given on the command line stay ahead of those the utility lists.
    // The builds found land in settings; none is handled below.
    (void)ListBuilds(ZephUtil::JoinPath(m_settings.installPath, kUtilityPath),
                     ZephUtil::JoinPath(m_settings.installPath, kBuildListPath), m_settings,
                     m_reporter);
    if (m_settings.installedBuilds.empty()) {
        // Without a build nothing can be looked up; finishing would claim a patched install.
        m_frontEnd.Report(ReportLevel::kError, kTextNoInstalledBuild);
        return false;
    }
    // A catalogue whose patches lead back to a build already left would otherwise loop.
    std::set<std::string> patchedFrom;
    for (;;) {
        std::string next = kTextNextVersion;
        next.replace(next.find("%s"), 2, InstalledBuildsText(m_settings));
        m_frontEnd.Report(ReportLevel::kDetail, next);
        const std::string current = CurrentBuild(m_settings);
        const PatchCatalogueEntry* entry =
            patchedFrom.contains(current) ? nullptr : m_task.Catalogue().FindPatch(current);
        if (!entry) {
            m_frontEnd.Report(ReportLevel::kStep,
                              SessionMessage(kMsgNoMorePatchesAtServer) + current);
            if (DropCurrentBuild(m_settings))
                continue;
            break;
        }
        if (Cancelled() || !InstallRemotePatch(*entry))
            return false;
        patchedFrom.insert(current);
    }
    m_settings.targetBuild.clear();
    UpdateAssetDatabase(m_database, m_settings.installPath, m_reporter);
    return true;
}

bool PatchThread::InstallRemotePatch(const PatchCatalogueEntry& entry) {
    m_settings.targetBuild = entry.targetVersion;
    // A signed catalogue vouches for the archive's size and content; without one the server
    // is asked for the size.
    ZephUtil::ExpectedContent vouched;
    const bool isSigned = m_task.Catalogue().Stamp().has_value();
    if (isSigned) {
        if (const std::string refusal = Vouched(entry, CurrentBuild(m_settings), &vouched);
            !refusal.empty()) {
            m_frontEnd.Report(ReportLevel::kError, refusal);
            return false;
        }
    }
    uint64_t expected = vouched.size;
    const int sized = isSigned ? ZephUtil::kTransferOk
                               : ZephUtil::GetUrlSize(entry.patchDataUrl, &expected, Transfers());
    if (sized == ZephUtil::kTransferCancelled)
        return false;
    if (sized != ZephUtil::kTransferOk) {
        m_frontEnd.Report(ReportLevel::kInfo, SessionMessage(kMsgPatchSizeUnknown));
        expected = 0;  // any size is accepted then
    }
    std::string archive;
    if (!MakeTempPatchFileName(m_settings, &archive)) {
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgCannotCreateTempFile));
        return false;
    }
    if (!DownloadPatch(entry.patchDataUrl, archive, expected, isSigned ? &vouched : nullptr) ||
        InstallPatchFile(archive) != kInstallOk) {
        (void)ZephUtil::DeleteFileAt(archive);  // best effort: the failure is what counts
        return false;
    }
    // The downloaded archive stays in the temporary folder.
    m_settings.targetBuild.clear();
    // True while another build is left; the next round looks again.
    (void)DropCurrentBuild(m_settings);
    MakeCurrentBuild(m_settings, entry.targetVersion);
    m_frontEnd.PatchInstalled();
    return true;
}

bool PatchThread::DownloadPatch(const std::string& url, const std::string& archive,
                                uint64_t expectedBytes, const ZephUtil::ExpectedContent* content) {
    m_frontEnd.Report(ReportLevel::kStep, SessionMessage(kMsgDownloadingPatch));
    m_task.BeginDownload(expectedBytes);
    bool whole = ZephUtil::DownloadToFile(url, archive, m_task.Download(), Transfers(), content,
                                          SpaceBudget());
    // A short file would reach the unpacker as a damaged archive.
    uint64_t size = 0;
    whole = whole && ZephUtil::GetFileSizeOf(archive, &size) == 0 && size >= expectedBytes;
    // A download the user stopped did not fail; the session ends with "Patching aborted.".
    if (!whole && !Cancelled()) {
        m_outcome = SessionOutcome::kNetworkFailed;
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgDownloadFailed));
    }
    return whole;
}

}  // namespace ZephPatch
