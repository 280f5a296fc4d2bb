#include "options.h"

#include "outcome.h"

#include <CLI/CLI.hpp>
#include <brisko_version.h>

namespace {

constexpr const char* kFlashVersion = "brisko-k71-flash " BRISKO_K71_VERSION;

} // namespace

std::optional<int> ParseOptions(int argc, char** argv, FlashOptions& options) {
    CLI::App app{"Writes a software image into one or more receivers through their serial ports,\n"
                 "with the dialogue, time limits and messages of the desktop program.",
                 "brisko-k71-flash"};
    app.set_version_flag("--version", kFlashVersion);
#ifdef _WIN32
    constexpr const char* kPortHelp =
        "COM1..COM4 (opened as the desktop program opens them) or a device name\n"
        "(COM12, \\\\.\\COM12). Repeat it to flash several receivers at once with\n"
        "the same image. Default COM3.";
#else
    constexpr const char* kPortHelp =
        "COM1..COM4 (mapped as the desktop program maps them) or a device path\n"
        "(/dev/ttyUSB0, /dev/serial/by-id/...). Repeat it to flash several\n"
        "receivers at once with the same image. Default COM3.";
#endif
    app.add_option("-p,--port", options.ports, kPortHelp)
        ->type_name("PORT")
        ->allow_extra_args(false); // one port per -p, so that IMAGE can follow
    auto* list = app.add_flag("--list-ports", options.listPorts,
                              "the serial ports present: device, by-id name, and which COMn\n"
                              "points there");
    app.add_flag("--json", options.json,
                 "one JSON object per port on standard output, for logs and dashboards");
    app.add_flag("-q,--quiet", options.quiet, "only the result line per port");
    auto* image = app.add_option("IMAGE", options.image, "the image file to write")->type_name("");
    image->excludes(list);
    app.footer(ExitStatusTable());

    try {
        app.parse(argc, argv);
        if (!options.listPorts && options.image.empty())
            throw CLI::RequiredError("IMAGE");
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : exit_status::kUsage;
    }
    if (options.ports.empty())
        options.ports.push_back("COM3");
    return std::nullopt;
}
