#include "app/ResultLog.h"

#include "app/RunItems.h"
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

std::string LogField(const std::string& text) {
    std::string field = text;
    for (char& c : field)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return field;
}

std::string ResultLogLines(const LocalTime& t, const CUtility& utility, const RunRecord& record,
                           const ResultLogOptions& options) {
    std::string lines;
    const bool update = (options.mask & kItemFwUpdate) != 0;
    const bool signal = (options.mask & (kItemSignalLine | kItemFixture)) != 0;
    // The page's layout says which results its table shows: the upgrade page has no port
    // columns, so its port texts stay blank.
    const PageLayout& layout = LayoutOfPage(options.page);
    for (std::size_t i = 0; i < utility.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost& host = utility.hosts[i];
        const HostEntry entry = record.Host(static_cast<std::uint8_t>(i));
        std::string line =
            Format("%.4d%.2d%.2d\t%.2d:%.2d:%.2d\t%d\t%s\t", t.year, t.month, t.day, t.hour,
                   t.minute, t.second, static_cast<int>(i), LogField(host.strFWVersion).c_str());
        if (options.barCodeColumn) line += LogField(options.serialNumber) + "\t";
        const std::string updateText =
            !update ? " "
                    : (entry.Item(ResultItem::FwUpdate).state == ItemState::Pass ? "PASS" : "FAIL");
        // A port test ran for the host when its worker began it; one that did not (the
        // firmware step failed first, the host was given up on while it waited for the test
        // lock) is logged as a disabled test is.
        const ItemEntry& slt = entry.Item(ResultItem::SignalLineOverall);
        const bool portTestRan = slt.started ||
                                 entry.Item(ResultItem::TerminationOverall).started ||
                                 entry.Item(ResultItem::LoopBackOverall).started;
        std::string sltText = " ";
        if (signal && slt.state == ItemState::Fail)
            sltText = "FAIL";
        else if (signal && slt.state == ItemState::Pass)
            sltText = host.dwSignalResult == 0 ? "PASS" : "FAIL";
        std::string ports[6];
        for (int p = 0; p < 6; ++p) {
            const auto item = static_cast<ResultItem>(static_cast<int>(ResultItem::Usb2Port1) + p);
            ports[p] =
                portTestRan && layout.HasPortColumns() ? LogField(entry.Item(item).text) : " ";
        }
        line += Format("%d\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\r\n", host.ucBus,
                       host.ucDevice, host.ucFunction, LogField(host.strSSID).c_str(),
                       LogField(host.strSVID).c_str(), sltText.c_str(), " ", ports[0].c_str(),
                       ports[1].c_str(), ports[2].c_str(), ports[3].c_str(), ports[4].c_str(),
                       ports[5].c_str(), updateText.c_str(),
                       update ? LogField(host.strFirmwarePath).c_str() : "");
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
        t.second, static_cast<int>(index), LogField(host.strFWVersion).c_str(), host.ucBus,
        host.ucDevice, host.ucFunction, LogField(host.strSSID).c_str(),
        LogField(host.strSVID).c_str(), expectedVersion.c_str());
}

ResultLogWrite WriteResultLog(const std::string& toolFolder, IClock& clock,
                              const UiTextTable& texts, const CUtility& utility,
                              const RunRecord& record, const ResultLogOptions& options) {
    ResultLogWrite result;
    try {
        const LocalTime now = clock.LocalNow();
        result.time = now;
        result.path = files::Join(toolFolder, ResultLogFileName(now));
        // A header line begins with "Date\t" (a record line with its date's digits).
        result.written = files::AppendRecord(
            result.path, ResultLogHeader(texts, options.barCodeColumn),
            ResultLogLines(now, utility, record, options), result.error, "Date\t");
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

}  // namespace qnl
