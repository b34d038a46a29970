#include "app/ResultLog.h"

#include "platform/Files.h"
#include "platform/Format.h"

namespace qnl {

std::string ResultLogFileName(const LocalTime& t) {
    return Format("%.4d%.2d%.2d.log", t.year, t.month, t.day);
}

std::string ResultLogHeader(const UiTextTable& t, bool barCodeColumn) {
    std::string header =
        Format("Date\tTime\t%s\t%s\t", t.hostColumn.c_str(), t.fwVersionColumn.c_str());
    if (barCodeColumn) header += "PCBA_SN\t";
    header +=
        Format("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\tUpdateFWFile\r\n",
               t.busColumn.c_str(), t.devColumn.c_str(), t.funColumn.c_str(), t.ssidColumn.c_str(),
               t.svidColumn.c_str(), "SLT Result", "LT Result", "USB2 Port1", "USB2 Port2",
               "USB3 Port1", "USB3 Port2", "USB3.1 Port1", "USB3.1 Port2", t.updateColumn.c_str());
    return header;
}

std::string ResultLogLines(const LocalTime& t, const CUtility& utility, const RunRecord& record,
                           const ResultLogOptions& options) {
    std::string lines;
    const bool portTests = options.signalOrFixtureTest || options.loopBackTest;
    // The page's layout says which results its table shows: the upgrade page has no port
    // columns, so its port texts stay blank.
    const PageLayout& layout = LayoutOfPage(options.page);
    for (std::size_t i = 0; i < utility.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost& host = utility.hosts[i];
        std::string line =
            Format("%.4d%.2d%.2d\t%.2d:%.2d:%.2d\t%d\t%s\t", t.year, t.month, t.day, t.hour,
                   t.minute, t.second, static_cast<int>(i), host.strFWVersion.c_str());
        if (options.barCodeColumn) line += options.serialNumber + "\t";
        const std::string update =
            !options.fwUpdateEnabled ? " " : (host.ucFwUpdateResult == 1 ? "PASS" : "FAIL");
        // A test ran for the host when its overall cell shows a verdict or its stored result
        // holds a failure. One that did not run (the firmware step failed or timed out first)
        // is logged as a disabled test is, never as a pass of the stored result's initial 0.
        const HostEntry entry = record.Host(static_cast<std::uint8_t>(i));
        // What the page's table shows of a result: its text where the layout has a column.
        auto shown = [&](ResultItem item) {
            return layout.ColumnOf(item) < 0 ? std::string() : entry.Item(item).text;
        };
        auto verdict = [&](ResultItem item) {
            std::string text = shown(item);
            return text == "PASS" || text == "FAIL" ? text : std::string();
        };
        const std::string sltCell = verdict(ResultItem::SignalLineOverall);
        const bool signalRan = !sltCell.empty() || host.dwSignalResult != 0;
        const bool portTestRan = signalRan || !verdict(ResultItem::TerminationOverall).empty() ||
                                 !verdict(ResultItem::LoopBackOverall).empty() ||
                                 host.ucTerminationResult != 0 || host.ucLoopBackResult != 0;
        std::string slt = " ";
        if (options.signalOrFixtureTest && signalRan)
            slt = host.dwSignalResult == 0 && sltCell == "PASS" ? "PASS" : "FAIL";
        std::string ports[6];
        for (int p = 0; p < 6; ++p) {
            const auto item = static_cast<ResultItem>(static_cast<int>(ResultItem::Usb2Port1) + p);
            ports[p] = portTests && portTestRan && layout.HasPortColumns() ? shown(item) : " ";
        }
        line += Format("%d\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\r\n", host.ucBus,
                       host.ucDevice, host.ucFunction, host.strSSID.c_str(), host.strSVID.c_str(),
                       slt.c_str(), " ", ports[0].c_str(), ports[1].c_str(), ports[2].c_str(),
                       ports[3].c_str(), ports[4].c_str(), ports[5].c_str(), update.c_str(),
                       host.strFirmwarePath.c_str());
        lines += line;
    }
    return lines;
}

std::string FailedCheckNote(const LocalTime& t, std::size_t index, const TargetHost& host,
                            const std::string& expectedVersion) {
    return Format(
        "\r\n%s:%d: FW Check FAIL: %.4d%.2d%.2d\t%.2d:%.2d:%.2d\t%d\t%s\t%d\t%d\t%d\t"
        "%s\t%s, expected FW Version %s",
        "CQNL735_MPToolDlg::MainThreadEntry", 1230, t.year, t.month, t.day, t.hour, t.minute,
        t.second, static_cast<int>(index), host.strFWVersion.c_str(), host.ucBus, host.ucDevice,
        host.ucFunction, host.strSSID.c_str(), host.strSVID.c_str(), expectedVersion.c_str());
}

ResultLogWrite WriteResultLog(const std::string& toolFolder, IClock& clock,
                              const UiTextTable& texts, const CUtility& utility,
                              const RunRecord& record, const ResultLogOptions& options) {
    ResultLogWrite result;
    try {
        const LocalTime now = clock.LocalNow();
        result.time = now;
        result.path = files::Join(toolFolder, ResultLogFileName(now));
        result.written =
            files::AppendRecord(result.path, ResultLogHeader(texts, options.barCodeColumn),
                                ResultLogLines(now, utility, record, options), result.error);
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

}  // namespace qnl
