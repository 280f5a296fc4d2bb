#include "progress_line.h"

#include "upload_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kBarWidth = 20;

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

std::string ClockTime(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string ProgressLine(const PortRun& run, FlashClock::time_point now, std::size_t nameWidth,
                         std::size_t width) {
    std::string line = Padded(run.Target().name, nameWidth) + "  ";
    char text[160];
    if (run.Ended()) {
        std::snprintf(text, sizeof text, "%s  (%s)", run.ResultText().c_str(),
                      ClockTime(run.Seconds(now)).c_str());
        line += text;
    } else if (run.Waking()) {
        std::snprintf(text, sizeof text,
                      "waiting for the receiver to be switched on (wake-up attempt %d of %d)",
                      std::max(run.WakeAttempts(), 1), static_cast<int>(kWakeAttempts));
        line += text;
    } else if (!run.Established()) {
        line += run.Log().empty() ? "opening the port" : run.Log().back();
    } else {
        const int done = run.BlocksAcknowledged();
        const int total = run.BlocksTotal();
        const int filled = total > 0 ? done * kBarWidth / total : 0;
        const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                                std::string(kBarWidth - filled, '-');
        const double rate = run.BytesPerSecond(now);
        std::string speed = "--.- kB/s";
        std::string left = "--:-- left";
        if (rate > 0) {
            char figure[32];
            std::snprintf(figure, sizeof figure, "%.1f kB/s", rate / 1000.0);
            speed = figure;
            left =
                ClockTime(static_cast<double>(run.ImageSize() - run.BytesAcknowledged()) / rate) +
                " left";
        }
        std::snprintf(text, sizeof text, "block %d of %d  [%s]  %s  %s", done, total, bar.c_str(),
                      speed.c_str(), left.c_str());
        line += text;
    }
    if (line.size() > width)
        line.resize(width);
    return line;
}
