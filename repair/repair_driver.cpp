#include "repair/repair_driver.h"

#include <cstdio>
#include <cstdlib>

#include "kernel/files/file_utils.h"
#include "kernel/registry/registry.h"
#include "net/host_lookup.h"
#include "repair/agent_client.h"
#include "repair/agent_protocol.h"
#include "repair/messages.h"

namespace ZephPatch {
namespace {

// Walks the announced count up to the job's stage, one line per stage passed, so each text
// appears once and in order even when the job passed two stages between polls.
class StageAnnouncer {
public:
    explicit StageAnnouncer(Reporter& reporter) : m_reporter(reporter) {}

    void Announce(int stage) {
        static const char* const kTexts[] = {nullptr, RepairText::kScanning,
                                             RepairText::kConnecting, RepairText::kPreparing,
                                             RepairText::kReceiving};
        while (m_announced < stage) {
            ++m_announced;
            if (m_announced <= 4)
                m_reporter.Report(ReportLevel::kStep, kTexts[m_announced]);
        }
    }
    bool Receiving() const { return m_announced > 4; }

private:
    Reporter& m_reporter;
    int m_announced = 0;
};

// The gauge follows the repair only once segments arrive, so a repair that never reaches the
// server leaves it alone.
class RepairGauge {
public:
    explicit RepairGauge(ProgressSink& sink) : m_sink(sink) {}

    void Show(int permille) {
        if (!m_taken) {
            m_sink.SetGaugeRange(kRepairGaugeRange);
            m_taken = true;
        }
        m_sink.SetGaugeValue(permille);
    }

private:
    ProgressSink& m_sink;
    bool m_taken = false;
};

std::string Format(const char* format, auto first, auto second) {
    char text[128];
    snprintf(text, sizeof text, format, first, second);
    return text;
}

const char* FailureText(int stage) {
    switch (stage) {
        case kStageScanning:
            return RepairText::kScanFailed;
        case kStageConnecting:
        case kStageExchanging:
            return RepairText::kConnectFailed;
        case kStageReceiving:
            return RepairText::kRepairFailed;
        default:
            return RepairText::kInternalError;
    }
}

}  // namespace

std::string RepairServerOverride(std::string_view productKey) {
    ZephUtil::RegistryKey key;
    std::string server;
    if (!key.Open(productKey, ZephUtil::RegAccess::kRead) ||
        !key.QueryString("RepairServer", &server))
        return {};
    return server;
}

bool ResolveRepairServer(const std::string& server, ZephUtil::SocketEndpoint* endpoint) {
    std::string host = server;
    unsigned long port = kRepairServerPort;
    const size_t colon = server.rfind(':');
    if (colon != std::string::npos) {
        host = server.substr(0, colon);
        const std::string digits = server.substr(colon + 1);
        char* end = nullptr;
        port = strtoul(digits.c_str(), &end, 10);
        if (digits.empty() || *end != '\0' || port == 0 || port > 65535)
            return false;
    }
    if (!ZephUtil::LookUpHostIPv4(host, &endpoint->address))  // the protocol's endpoints are IPv4
        return false;
    endpoint->port = static_cast<uint16_t>(port);
    return true;
}

RepairResult RunRepairDriver(const RepairRequest& request, ProgressSink& sink) {
    ZephUtil::SocketEndpoint server;
    if (!ResolveRepairServer(request.server.empty() ? kDefaultRepairServer : request.server,
                             &server)) {
        sink.Report(ReportLevel::kError, RepairText::kCannotContactServer);
        return RepairResult::kServerUnreachable;
    }
    ZephAgentClient job;
    job.SetInstallDirectory(request.installPath);
    job.SetChecksumFile(ZephUtil::JoinPath(request.installPath, "repair.cks"));
    job.SetServerAddress(server);
    job.SetExclusions({ZephUtil::JoinPath(request.installPath, "unins000.exe")});
    job.SetStallLimit(request.stallMilliseconds);
    job.StartRepair();

    StageAnnouncer announcer(sink);
    RepairGauge gauge(sink);
    bool cancelled = false;
    while (job.IsRunning()) {
        if (!sink.ShouldContinue()) {
            cancelled = true;
            break;
        }
        announcer.Announce(job.GetStage());
        if (announcer.Receiving())
            gauge.Show(static_cast<int>(job.GetProgress() * kRepairGaugeRange));
        // Each stage is announced, and the end seen, as it comes; the poll only moves the
        // gauge and looks for the user's cancel.
        job.WaitForChange(request.pollMilliseconds);
    }

    announcer.Announce(job.GetStage());
    if (announcer.Receiving())
        sink.Report(ReportLevel::kStep, Format(RepairText::kSegmentsUpdated,
                                               job.GetSegmentsReceived(), job.GetSegmentsTotal()));
    if (job.Succeeded()) {
        gauge.Show(kRepairGaugeRange);
        return RepairResult::kRepaired;
    }
    // A cancelled job is stopped by its destructor, without an error message.
    if (cancelled)
        return RepairResult::kCancelled;
    const int stage = job.GetStage();
    sink.Report(ReportLevel::kError, FailureText(stage));
    sink.Report(ReportLevel::kStep, Format(RepairText::kErrorInStage, job.GetError(), stage));
    return stage == kStageConnecting || stage == kStageExchanging ? RepairResult::kServerUnreachable
                                                                  : RepairResult::kFailed;
}

}  // namespace ZephPatch
