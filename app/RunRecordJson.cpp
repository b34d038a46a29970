#include "app/RunRecordJson.h"

#include <cstdlib>
#include <exception>
#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "platform/Format.h"

namespace qnl {

namespace {

using Json = nlohmann::ordered_json;  // the fields in the documented order

// A text the run does not know is null, never "" (nor the blank of a record that was never
// read, such as the version of a controller that did not answer).
Json TextOrNull(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos ? Json(nullptr) : Json(text);
}

Json HostJson(const HostEntry& host) {
    Json items = Json::object();
    for (std::size_t i = 0; i < kResultItemCount; ++i) {
        const ItemEntry& item = host.items[i];
        items[ResultItemKey(static_cast<ResultItem>(i))] = {
            {"state", ItemStateKey(item.state)},
            {"text", item.text},
            {"error_code", item.errorCode},
            {"duration_ms", item.DurationMs()},
        };
    }
    // The address as the operating system writes it: domain 0 (the only one the tool scans),
    // lower-case hex.
    return {
        {"index", host.index},
        {"pci_address", Format("0000:%02x:%02x.%x", host.bus, host.device, host.function)},
        {"ssid", TextOrNull(host.ssid)},
        {"svid", TextOrNull(host.svid)},
        {"fw_version_before", TextOrNull(host.fwVersionBefore)},
        {"fw_version_after", TextOrNull(host.fwVersionAfter)},
        {"items", std::move(items)},
    };
}

}  // namespace

std::string Iso8601Text(const ZonedTime& time) {
    const LocalTime& t = time.local;
    const int offset = std::abs(time.utcOffsetMinutes);
    return Format("%.4d-%.2d-%.2dT%.2d:%.2d:%.2d%c%.2d:%.2d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, time.utcOffsetMinutes < 0 ? '-' : '+', offset / 60,
                  offset % 60);
}

std::string RunRecordFileName(const LocalTime& day) {
    return Format("%.4d%.2d%.2d.jsonl", day.year, day.month, day.day);
}

std::string RunRecordJsonLine(const RunFacts& facts, const std::vector<HostEntry>& hosts,
                              const ZonedTime& start, const ZonedTime& end) {
    Json firmware = nullptr;
    if (!facts.firmwareFileName.empty()) {
        firmware = {
            {"name", facts.firmwareFileName},
            {"size", facts.firmwareSize},
            {"sha256", TextOrNull(facts.firmwareSha256)},
            {"version", TextOrNull(facts.firmwareVersion)},
        };
    }
    Json hostList = Json::array();
    for (const HostEntry& host : hosts) hostList.push_back(HostJson(host));
    const Json record = {
        {"record_version", kRunRecordVersion},
        {"tool_version", facts.toolVersion},
        {"station", TextOrNull(facts.stationHost)},
        {"backend", facts.backend},
        {"start", Iso8601Text(start)},
        {"end", Iso8601Text(end)},
        {"settings",
         {{"name", facts.settingsFileName}, {"sha256", TextOrNull(facts.settingsSha256)}}},
        {"firmware", std::move(firmware)},
        {"serial_number", TextOrNull(facts.serialNumber)},
        {"page", facts.page},
        {"item_mask", facts.itemMask},
        {"exit_code", facts.exitCode},
        {"hosts", std::move(hostList)},
    };
    // ensure_ascii: everything beyond 7 bits is a \u escape, so the line reads the same in any
    // code page; the control characters are escaped in any case. Bytes that are not UTF-8
    // (a file name in a Windows code page) become U+FFFD instead of failing the record.
    return record.dump(-1, ' ', true, Json::error_handler_t::replace) + "\n";
}

RunRecordWrite WriteRunRecord(const std::string& toolFolder, const RunFacts& facts,
                              const std::vector<HostEntry>& hosts) {
    RunRecordWrite result;
    try {
        const ZonedTime start = ZonedTimeOf(facts.startTime);
        const ZonedTime end = ZonedTimeOf(facts.endTime);
        const std::string folder = files::Join(toolFolder, kRunRecordFolder);
        result.path = files::Join(folder, RunRecordFileName(end.local));
        if (!files::CreateFolder(folder)) {
            const int error = files::LastError();
            result.error = files::Exists(folder)
                               ? folder + " is not a folder"
                               : Format("%s cannot be created (error %d)", folder.c_str(), error);
            return result;
        }
        result.written = files::AppendRecord(
            result.path, "", RunRecordJsonLine(facts, hosts, start, end), result.error);
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

}  // namespace qnl
