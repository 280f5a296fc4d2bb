#include "flash_run.h"

#include "image_check.h"
#include "json_report.h"
#include "outcome.h"
#include "port_resolve.h"
#include "progress_printer.h"
#include "summary.h"
#include "terminal.h"
#include "worker_pool.h"

#include <cstdio>

namespace {

void Complain(const std::string& text) {
    std::fprintf(stderr, "brisko-k71-flash: %s\n", text.c_str());
}

ProgressPrinter::Mode ModeFor(const FlashOptions& options) {
    if (options.json)
        return ProgressPrinter::Mode::Silent;
    if (options.quiet)
        return ProgressPrinter::Mode::Quiet;
    return StdoutIsLiveTerminal() ? ProgressPrinter::Mode::Live : ProgressPrinter::Mode::Plain;
}

} // namespace

int Flash(const FlashOptions& options) {
    std::vector<PortTarget> targets;
    for (const std::string& name : options.ports) {
        std::string error;
        auto target = ResolvePort(name, error);
        if (!target) {
            Complain(error);
            return exit_status::kUsage;
        }
        targets.push_back(*target);
    }
    if (const std::string duplicate = FindDuplicatePort(targets); !duplicate.empty()) {
        Complain(duplicate);
        return exit_status::kUsage;
    }
    std::int64_t imageSize = 0;
    if (const std::string bad = CheckImage(options.image, imageSize); !bad.empty()) {
        Complain(bad);
        return exit_status::kBadImage;
    }

    std::vector<PortRun> runs;
    const auto start = FlashClock::now();
    for (const PortTarget& target : targets)
        runs.emplace_back(target, imageSize, start);
    ProgressPrinter printer(ModeFor(options), runs, TerminalColumns());

    WorkerCallbacks callbacks;
    callbacks.event = [&](std::size_t i, const WorkerEvent& event) {
        runs[i].Apply(event, FlashClock::now());
        printer.Event(i, event);
    };
    callbacks.ended = [&](std::size_t i) {
        runs[i].Finish(FlashClock::now());
        printer.Ended(i);
    };
    callbacks.stopping = [&] { printer.Stopping(); };
    callbacks.tick = [&] { printer.Tick(); };
    RunWorkers(targets, options.image, callbacks);
    printer.Close();

    const auto now = FlashClock::now();
    std::vector<Outcome> outcomes;
    std::string unfinished;
    bool interrupted = false;
    for (const PortRun& run : runs) {
        outcomes.push_back(run.Result());
        interrupted = interrupted || run.Result() == Outcome::Interrupted;
        if (run.LeftUnfinished())
            unfinished += (unfinished.empty() ? "" : ", ") + run.Target().name;
    }
    if (options.json) {
        for (const PortRun& run : runs)
            std::printf("%s\n", PortJson(run, options.image, now).c_str());
    } else if (runs.size() > 1 && !options.quiet) {
        std::printf("\n%s", SummaryTable(runs, now).c_str());
    }
    std::fflush(stdout);
    if (interrupted)
        Complain("interrupted; receivers left unfinished: " +
                 (unfinished.empty() ? std::string("none") : unfinished));
    return ExitStatus(Worst(outcomes));
}
