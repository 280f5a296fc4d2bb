#include "events.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

std::string EncodeEvent(const WorkerEvent& event) {
    json j;
    switch (event.kind) {
    case WorkerEvent::Kind::Line:
        j = {{"e", "line"}, {"text", event.text}};
        break;
    case WorkerEvent::Kind::Box:
        j = {{"e", "box"}, {"text", event.text}};
        break;
    case WorkerEvent::Kind::Wake:
        j = {{"e", "wake"}, {"n", event.wakeAttempt}};
        break;
    case WorkerEvent::Kind::End:
        j = {{"e", "end"},
             {"stopped", event.stopped},
             {"tx", event.bytesOut},
             {"rx", event.bytesIn},
             {"line_s", event.lineSeconds}};
        break;
    }
    // Log texts are 8-bit; replace what is not UTF-8 rather than fail.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<WorkerEvent> DecodeEvent(const std::string& line) {
    const json j = json::parse(line, nullptr, false);
    if (!j.is_object() || !j.contains("e") || !j["e"].is_string())
        return std::nullopt;
    WorkerEvent event;
    const std::string kind = j["e"].get<std::string>();
    try {
        if (kind == "line" || kind == "box") {
            event.kind = kind == "line" ? WorkerEvent::Kind::Line : WorkerEvent::Kind::Box;
            event.text = j.at("text").get<std::string>();
        } else if (kind == "wake") {
            event.kind = WorkerEvent::Kind::Wake;
            event.wakeAttempt = j.at("n").get<int>();
        } else if (kind == "end") {
            event.kind = WorkerEvent::Kind::End;
            event.stopped = j.at("stopped").get<bool>();
            event.bytesOut = j.at("tx").get<std::uint64_t>();
            event.bytesIn = j.at("rx").get<std::uint64_t>();
            event.lineSeconds = j.at("line_s").get<double>();
        } else {
            return std::nullopt;
        }
    } catch (const json::exception&) {
        return std::nullopt;
    }
    return event;
}
