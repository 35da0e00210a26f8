#include "session/embedded_patch_check.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/files/file_utils.h"
#include "session/build_list.h"
#include "session/installation_check.h"
#include "session/installation_guard.h"
#include "session/session_messages.h"

namespace ZephPatch {
namespace {

constexpr const char* kUtilityPath = "bin/VelmorUtil.exe";
constexpr const char* kBuildListPath = "bin/buildList.txt";

std::string WithArgument(const std::string& pattern, const std::string& argument) {
    std::string text = pattern;
    if (size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, argument);
    return text;
}

// The builds it lists must be those of a whole installation that no other installer is
// changing. kReady when it can be listed; otherwise reported.
EmbeddedCheckResult SettleForListing(const std::string& installation, const EmbeddedCheckHost& host,
                                     Reporter& reporter) {
    switch (SettleInstallation(installation, host.reporter)) {
        case SettleResult::kReady:
            return EmbeddedCheckResult::kReady;
        case SettleResult::kInUse:
            reporter.Report(ReportLevel::kError, SessionMessage(kMsgFilesInUse));
            if (host.showMessageBox)
                host.showMessageBox(SessionMessage(kMsgFilesInUseText),
                                    SessionMessage(kMsgFilesInUseCaption));
            return EmbeddedCheckResult::kInUse;
        case SettleResult::kStuck:
            break;
    }
    return EmbeddedCheckResult::kStuck;
}

// The installation the check looks at before it asks: the one the command line gave (or the
// start-up found in the registry), else the registry's.
std::string KnownInstallation(const PatchSettings& settings, bool askUser,
                              const EmbeddedCheckHost& host) {
    if (askUser)
        return {};
    const std::string& given = settings.installPath;
    if (!given.empty() || !host.findInstallPath)
        return given;
    return host.findInstallPath();
}

// Lists the builds of the known installation, or of one the user picks: kReady, or why not:
// the user cancelled the choice, the folder holds no installation (said at level 3), or the
// installation cannot be settled (kInUse, kStuck).
EmbeddedCheckResult ListBuildsOfInstallation(PatchSettings& settings, bool askUser,
                                             const EmbeddedCheckHost& host, Reporter& reporter) {
    std::string candidate = KnownInstallation(settings, askUser, host);
    for (;;) {
        settings.installedBuilds.clear();
        if (!candidate.empty()) {
            if (const std::string wrong = NotAnInstallationText(candidate); !wrong.empty()) {
                reporter.Report(ReportLevel::kError, wrong);
                return EmbeddedCheckResult::kNoInstallation;
            }
            if (const auto settled = SettleForListing(candidate, host, reporter);
                settled != EmbeddedCheckResult::kReady)
                return settled;
            // The builds found land in settings; none is handled by the caller.
            (void)ListBuilds(ZephUtil::JoinPath(candidate, kUtilityPath),
                             ZephUtil::JoinPath(candidate, kBuildListPath), settings,
                             host.reporter);
            return EmbeddedCheckResult::kReady;
        }
        if (!askUser)
            reporter.Report(ReportLevel::kError, kTextAskingForInstallation);
        std::string chosen;
        if (!host.chooseFile || !host.chooseFile(kTextLocateTitle, kTextLocateFilter, &chosen)) {
            reporter.Report(ReportLevel::kError, kTextInstallationChoiceCancelled);
            return EmbeddedCheckResult::kNoInstallation;
        }
        candidate = InstallationOfChosenFile(chosen);
        settings.installPath = candidate;
    }
}

// The build the installation is at when it is the end of the patches' chain: a target that no
// patch starts from. Empty otherwise.
std::string FinalBuildReached(EmbeddedPatchContainer& container,
                              const std::vector<std::string>& installed) {
    std::vector<DirectoryEntry> entries;
    if (installed.empty() || !container.ReadDirectory(&entries))
        return {};
    const std::string& current = installed.front();
    bool reached = false;
    for (const DirectoryEntry& entry : entries) {
        if (entry.fromBuild == current)
            return {};
        reached = reached || entry.toBuild == current;
    }
    return reached ? current : std::string();
}

// Every embedded source build that is installed, once each, in directory order.
std::vector<std::string> ApplicableBuilds(const std::vector<std::string>& fromBuilds,
                                          const std::vector<std::string>& installed) {
    std::vector<std::string> applicable;
    for (const auto& build : fromBuilds) {
        const bool isInstalled =
            std::find(installed.begin(), installed.end(), build) != installed.end();
        const bool isTaken =
            std::find(applicable.begin(), applicable.end(), build) != applicable.end();
        if (isInstalled && !isTaken)
            applicable.push_back(build);
    }
    return applicable;
}

void EnableLocalPatches(PatchSettings& settings, const std::vector<std::string>& applicable,
                        const EmbeddedCheckHost& host, Reporter& reporter) {
    settings.targetBuild.clear();
    settings.repairMode = false;
    settings.localPatchesReady = true;
    settings.installedBuilds.clear();
    for (const auto& build : applicable)
        AddInstalledBuild(settings, build);
    reporter.Report(ReportLevel::kStep, SessionMessage(kMsgReadyForLocalPatch));
    if (host.enableApplyUpdate)
        host.enableApplyUpdate();
    const std::string current = CurrentBuild(settings);
    if (!current.empty())
        reporter.Report(ReportLevel::kStep,
                        WithArgument(SessionMessage(kMsgCurrentVersion), current));
    reporter.Report(ReportLevel::kStep, "");
}

}  // namespace

std::string InstallationOfChosenFile(const std::string& chosen) {
    const std::string file =
        ZephUtil::IsDirectory(chosen) ? ZephUtil::JoinPath(chosen, "Velmor.exe") : chosen;
    const size_t slash = file.find_last_of("/\\");
    if (slash == std::string::npos)
        return "./";
    const std::string folder = file.substr(0, slash + 1);
    const std::string_view inner(folder.data(), slash);  // without its final separator
    const size_t parentSlash = inner.find_last_of("/\\");
    const std::string_view name =
        parentSlash == std::string_view::npos ? inner : inner.substr(parentSlash + 1);
    if (name != "bin")
        return folder;
    return parentSlash == std::string_view::npos ? "./" : folder.substr(0, parentSlash + 1);
}

EmbeddedCheckResult CheckEmbeddedPatches(EmbeddedPatchContainer& container, PatchSettings& settings,
                                         const std::string& executablePath, bool askUser,
                                         const EmbeddedCheckHost& host) {
    using Result = EmbeddedCheckResult;
    if (settings.repairMode && !askUser)
        return Result::kRepairAsked;
    Reporter& reporter = host.reporter;
    reporter.Report(ReportLevel::kDetail, "Checking embedded patch: " + executablePath);
    const int opened = container.OpenContainer(executablePath);
    if (opened == kContainerAbsent)
        return Result::kNoContainer;
    if (opened != kContainerOpened) {
        reporter.Report(ReportLevel::kError, SessionMessage(kMsgFileErrorReadingPatch));
        return Result::kUnreadable;
    }
    if (host.enableChooseInstallation)
        host.enableChooseInstallation();
    if (const Result listed = ListBuildsOfInstallation(settings, askUser, host, reporter);
        listed != Result::kReady)
        return listed;

    const std::vector<std::string> fromBuilds = container.ListFromBuilds();
    reporter.Report(ReportLevel::kDetail,
                    std::to_string(fromBuilds.size()) + " patches embedded, " +
                        std::to_string(settings.installedBuilds.size()) + " installed");
    const auto applicable = ApplicableBuilds(fromBuilds, settings.installedBuilds);
    reporter.Report(ReportLevel::kDetail,
                    "Found " + std::to_string(applicable.size()) + " applicable patches");
    if (applicable.empty()) {
        const std::string reached = FinalBuildReached(container, settings.installedBuilds);
        if (!reached.empty() && host.upToDate) {
            host.upToDate(reached);
            return Result::kUpToDate;
        }
        reporter.Report(ReportLevel::kError, SessionMessage(kMsgPatchNotApplicable));
        return Result::kNotApplicable;
    }
    EnableLocalPatches(settings, applicable, host, reporter);
    return Result::kReady;
}

}  // namespace ZephPatch
