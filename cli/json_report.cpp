#include "json_report.h"

#include <nlohmann/json.hpp>

std::string PortJson(const PortRun& run, const std::string& image, FlashClock::time_point now) {
    const nlohmann::ordered_json j = {
        {"port", run.Target().name},
        {"device", run.Target().device},
        {"image", image},
        {"image_bytes", run.ImageSize()},
        {"result", OutcomeName(run.Result())},
        {"exit_status", ExitStatus(run.Result())},
        {"message", run.ResultText()},
        {"unfinished", run.LeftUnfinished()},
        {"wake_attempts", run.WakeAttempts()},
        {"blocks_acknowledged", run.BlocksAcknowledged()},
        {"blocks_total", run.BlocksTotal()},
        {"seconds", run.Seconds(now)},
        {"line_seconds", run.LineSeconds()},
        {"bytes_out", run.BytesOut()},
        {"bytes_in", run.BytesIn()},
        {"log", run.Log()},
        {"errors", run.Boxes()},
    };
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
