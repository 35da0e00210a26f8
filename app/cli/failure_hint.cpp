#include "app/cli/failure_hint.h"

namespace ZephPatch {
namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

std::string WhereDetailsAre(const HintFacts& facts) {
    if (!facts.logPath.empty())
        return " The details are in " + facts.logPath + ".";
    return facts.debug ? std::string() : " Run again with --debug (or --log=FILE) for the details.";
}

std::string UnreachableServer(const HintFacts& facts) {
    if (facts.repairMode)
        return "Hint: check that the repair server " + facts.repairServer +
               " is reachable from here (--repair-server=HOST[:PORT] or the registry value "
               "\"RepairServer\" name another).";
    return "Hint: check that the patch server " + Joined(facts.patchServers) +
           " is reachable from here and serves its files (address, network, proxy).";
}

}  // namespace

std::string FailureHint(SessionOutcome outcome, const HintFacts& facts) {
    switch (outcome) {
        case SessionOutcome::kCompleted:
        case SessionOutcome::kCancelled:
            return {};
        case SessionOutcome::kNetworkFailed:
            return UnreachableServer(facts) + WhereDetailsAre(facts);
        case SessionOutcome::kNotInstallation:
            return "Hint: give the installation's folder as the last argument, for example "
                   "InstallPatchCLI /opt/velmor";
        case SessionOutcome::kFilesInUse:
            return "Hint: close Velmor, the Content Manager, VelmorUtil and the launcher, then "
                   "run the installer again.";
        case SessionOutcome::kNoRights:
            return "Hint: run the installer as root (for example with sudo), or as a user who "
                   "may change " +
                   facts.installPath + " and the registry (ORVIK_REGISTRY_ROOT).";
        case SessionOutcome::kFailed:
            break;
    }
    return "Hint: the installation is left at its last complete build." + WhereDetailsAre(facts);
}

}  // namespace ZephPatch
