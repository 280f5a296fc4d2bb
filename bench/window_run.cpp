// brisko-bench-window: one whole upload through the program's main window, started by a click on
// "Upgrade Software", and what it cost.
//
// Usage: brisko-bench-window [--expect LINE] IMAGE
//
// Builds the windows as the program does (the application object, the serial error box, the
// main window, the set-up dialog), shows the main window on the Qt platform in force
// (QT_QPA_PLATFORM: offscreen, or xcb on an X server), answers the open dialog with IMAGE and
// clicks "Upgrade Software": the upload runs through the window's own AddLine and
// ProcessMessages. Prints the log and the figures of brisko-bench-upload (wall_s ends when the
// last line has been added, painted included), then:
//   platform                          the Qt platform
//   block_lines                       "Block" lines in the log
//   add_line_s, process_messages_s    time spent in the window's AddLine and ProcessMessages
//   window_ms_per_block               the two over block_lines, in milliseconds
// Exit status 0 when the last log line is LINE (default "Done."), 1 otherwise, 2 on bad usage.
#include "Main.h"
#include "Settings.h"
#include "application.h"
#include "connection.h"
#include "driver_run.h"
#include "error_box.h"
#include "file_open_dialog.h"
#include "line_meter.h"
#include "run_report.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

// The main window with a stopwatch around the two services that the block loop calls.
class TimedMain : public TFMain {
public:
    Clock::duration addLineTime{};
    Clock::duration processTime{};
    Clock::time_point lastLineTime{};
    std::string lastLine;
    unsigned long long blockLines = 0;

    void AddLine(const std::string& text) override {
        const auto start = Clock::now();
        TFMain::AddLine(text);
        lastLineTime = Clock::now();
        addLineTime += lastLineTime - start;
        lastLine = text;
        if (text.rfind("Block ", 0) == 0)
            ++blockLines;
    }
    void ProcessMessages() override {
        const auto start = Clock::now();
        TFMain::ProcessMessages();
        processTime += Clock::now() - start;
    }
};

double SecondsOf(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<DriverArgs> args = ParseDriverArgs(argc, argv);
    if (!args)
        return 2;
    const QString image = QString::fromLocal8Bit(args->image.c_str());

    int qtArgc = 1;
    Application application(qtArgc, argv);
    InstallSerialErrorBox();
    TimedMain window; // FormCreate selects COM3
    TFSettings settings;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "brisko-bench-window: the window was not shown\n");
        return 2;
    }
    FileOpenDialog::SetRunner([&image](QFileDialog& dialog) {
        dialog.selectFile(image);
        return true;
    });

    LineMeter meter;
    meter.Install();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    QTest::mouseClick(window.btnSend, Qt::LeftButton); // returns when the upload has ended
    const auto end = Clock::now();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);

    std::printf("%s\n", window.Log->toPlainText().toLocal8Bit().constData());
    const auto from = meter.FirstWrite().value_or(start);
    const auto to = window.lastLine.empty() ? end : window.lastLineTime;
    UploadFigures figures = MeteredFigures(meter, before, after);
    figures.outcome = window.lastLine;
    figures.wallSeconds = SecondsOf(to - from);
    PrintUploadFigures(figures);
    std::printf("bench.platform=%s\n", QGuiApplication::platformName().toLocal8Bit().constData());
    PrintFigure("block_lines", window.blockLines);
    PrintFigure("add_line_s", SecondsOf(window.addLineTime));
    PrintFigure("process_messages_s", SecondsOf(window.processTime));
    const double windowMs = 1e3 * SecondsOf(window.addLineTime + window.processTime);
    PrintFigure("window_ms_per_block",
                window.blockLines > 0 ? windowMs / static_cast<double>(window.blockLines) : 0.0);
    std::fflush(stdout);
    Platform() = SystemPlatform(); // the meter's wrappers go with it
    return window.lastLine == args->expect ? 0 : 1;
}
