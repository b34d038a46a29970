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

std::string ResultLogLines(const LocalTime& t, const CUtility& utility, const ResultTable& table,
                           const ResultLogOptions& options) {
    std::string lines;
    const bool portTests = options.signalOrFixtureTest || options.loopBackTest;
    // Port cells: columns 5..10 on the test page, 8..13 on the main page. The upgrade page
    // has no port columns, so its port texts stay blank.
    const int firstPortColumn = options.page == kPageTest ? 5 : options.page == kPageMain ? 8 : -1;
    for (std::size_t i = 0; i < utility.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost& host = utility.hosts[i];
        std::string line =
            Format("%.4d%.2d%.2d\t%.2d:%.2d:%.2d\t%d\t%s\t", t.year, t.month, t.day, t.hour,
                   t.minute, t.second, static_cast<int>(i), host.strFWVersion.c_str());
        if (options.barCodeColumn) line += options.serialNumber + "\t";
        const std::string update =
            !options.fwUpdateEnabled ? " " : (host.ucFwUpdateResult == 1 ? "PASS" : "FAIL");
        const std::string slt =
            options.signalOrFixtureTest ? (host.dwSignalResult == 0 ? "PASS" : "FAIL") : " ";
        std::string ports[6];
        for (int p = 0; p < 6; ++p) {
            ports[p] =
                portTests && firstPortColumn >= 0
                    ? table.strGetResultItemTable(static_cast<std::uint8_t>(i), firstPortColumn + p)
                    : " ";
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

ResultLogWrite WriteResultLog(const std::string& toolFolder, IClock& clock,
                              const UiTextTable& texts, const CUtility& utility,
                              const ResultTable& table, const ResultLogOptions& options) {
    ResultLogWrite result;
    try {
        const LocalTime now = clock.LocalNow();
        result.path = files::Join(toolFolder, ResultLogFileName(now));
        result.written =
            files::AppendRecord(result.path, ResultLogHeader(texts, options.barCodeColumn),
                                ResultLogLines(now, utility, table, options), result.error);
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

}  // namespace qnl
