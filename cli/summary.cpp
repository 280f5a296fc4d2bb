#include "summary.h"

#include <algorithm>
#include <cstdio>

std::string SummaryTable(const std::vector<PortRun>& runs, FlashClock::time_point now) {
    struct Row {
        std::string port, result, blocks, time, status;
    };
    std::vector<Row> rows = {{"Port", "Result", "Blocks", "Time", "Exit"}};
    for (const PortRun& run : runs) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", run.Seconds(now));
        rows.push_back(
            {run.Target().name, run.ResultText(),
             std::to_string(run.BlocksAcknowledged()) + "/" + std::to_string(run.BlocksTotal()),
             time, std::to_string(ExitStatus(run.Result()))});
    }
    std::size_t w[4] = {};
    for (const Row& row : rows) {
        w[0] = std::max(w[0], row.port.size());
        w[1] = std::max(w[1], row.result.size());
        w[2] = std::max(w[2], row.blocks.size());
        w[3] = std::max(w[3], row.time.size());
    }
    auto pad = [](const std::string& s, std::size_t width, bool right = false) {
        const std::string fill(width > s.size() ? width - s.size() : 0, ' ');
        return right ? fill + s : s + fill;
    };
    std::string table;
    for (const Row& row : rows) {
        std::string line = pad(row.port, w[0]) + "  " + pad(row.result, w[1]) + "  " +
                           pad(row.blocks, w[2], true) + "  " + pad(row.time, w[3], true) + "  " +
                           row.status;
        table += line + "\n";
    }
    return table;
}
