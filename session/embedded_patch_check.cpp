#include "session/embedded_patch_check.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/file_utils.h"
#include "session/build_list.h"
#include "session/installation_guard.h"
#include "session/session_messages.h"

namespace ZephPatch {
namespace {

constexpr const char* kUtilityPath = "bin/VelmorUtil.exe";
constexpr const char* kBuildListPath = "bin/buildList.txt";

// A report that may have no listener.
class CheckReporter {
public:
    explicit CheckReporter(const MessageReport& report) : m_report(report) {}
    void operator()(int level, const std::string& text) const {
        if (m_report)
            m_report(level, text);
    }

private:
    const MessageReport& m_report;
};

std::string WithArgument(const std::string& pattern, const std::string& argument) {
    std::string text = pattern;
    if (size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, argument);
    return text;
}

// The builds it lists must be those of a whole installation that no other installer is
// changing. False when it cannot be listed (reported).
bool SettleForListing(const std::string& installation, const EmbeddedCheckHost& host,
                      const CheckReporter& report) {
    switch (SettleInstallation(installation, host.report)) {
        case SettleResult::kReady:
            return true;
        case SettleResult::kInUse:
            report(kReportError, SessionMessage(kMsgFilesInUse));
            if (host.showMessageBox)
                host.showMessageBox(SessionMessage(kMsgFilesInUseText),
                                    SessionMessage(kMsgFilesInUseCaption));
            return false;
        case SettleResult::kStuck:
            return false;
    }
    return false;
}

// Lists the builds of the registry's installation, or of one the user picks. False when the
// user cancels the choice or the installation cannot be listed.
bool ListBuildsOfInstallation(bool askUser, const EmbeddedCheckHost& host,
                              const CheckReporter& report) {
    std::string candidate = askUser || !host.findInstallPath ? "" : host.findInstallPath();
    PatchSettings& settings = GetPatchSettings();
    for (;;) {
        settings.installedBuilds.clear();
        if (!candidate.empty()) {
            if (!SettleForListing(candidate, host, report))
                return false;
            ListBuilds(ZephUtil::JoinPath(candidate, kUtilityPath),
                       ZephUtil::JoinPath(candidate, kBuildListPath), host.report);
            return true;
        }
        if (!askUser)
            report(kReportError, kTextAskingForInstallation);
        std::string chosen;
        if (!host.chooseFile || !host.chooseFile(kTextLocateTitle, kTextLocateFilter, &chosen)) {
            report(kReportError, kTextInstallationChoiceCancelled);
            return false;
        }
        candidate = InstallationOfChosenFile(chosen);
        settings.installPath = candidate;
    }
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

void EnableLocalPatches(const std::vector<std::string>& applicable, const EmbeddedCheckHost& host,
                        const CheckReporter& report) {
    PatchSettings& settings = GetPatchSettings();
    settings.targetBuild.clear();
    settings.repairMode = false;
    settings.localPatchesReady = true;
    settings.installedBuilds.clear();
    for (const auto& build : applicable)
        AddInstalledBuild(build);
    report(kReportStep, SessionMessage(kMsgReadyForLocalPatch));
    if (host.enableApplyUpdate)
        host.enableApplyUpdate();
    const std::string current = CurrentBuild();
    if (!current.empty())
        report(kReportStep, WithArgument(SessionMessage(kMsgCurrentVersion), current));
    report(kReportStep, "");
}

}  // namespace

std::string InstallationOfChosenFile(const std::string& file) {
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

bool CheckEmbeddedPatches(EmbeddedPatchContainer& container, const std::string& executablePath,
                          bool askUser, const EmbeddedCheckHost& host) {
    const CheckReporter report(host.report);
    report(kReportDetail, "Checking embedded patch: " + executablePath);
    const int opened = container.OpenContainer(executablePath);
    if (opened == kContainerAbsent)
        return false;
    if (opened != kContainerOpened) {
        report(kReportError, SessionMessage(kMsgFileErrorReadingPatch));
        return false;
    }
    if (host.enableChooseInstallation)
        host.enableChooseInstallation();
    if (!ListBuildsOfInstallation(askUser, host, report))
        return false;

    const std::vector<std::string> fromBuilds = container.ListFromBuilds();
    report(kReportDetail, std::to_string(fromBuilds.size()) + " patches embedded, " +
                              std::to_string(GetPatchSettings().installedBuilds.size()) +
                              " installed");
    const auto applicable = ApplicableBuilds(fromBuilds, GetPatchSettings().installedBuilds);
    report(kReportDetail, "Found " + std::to_string(applicable.size()) + " applicable patches");
    if (applicable.empty()) {
        report(kReportError, SessionMessage(kMsgPatchNotApplicable));
        return false;
    }
    EnableLocalPatches(applicable, host, report);
    return true;
}

}  // namespace ZephPatch
