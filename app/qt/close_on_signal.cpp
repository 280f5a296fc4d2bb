#include "close_on_signal.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};

// The pipe from the handler to the loop: a handler may do little more than write(2).
int wakeRead = -1;
int wakeWrite = -1;
std::array<struct sigaction, kSignals.size()> previous{};

extern "C" void OnSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t written = write(wakeWrite, &byte, 1);
    errno = savedErrno;
}

// At most as many modal windows can be stacked: the settings or open dialog, an error box.
constexpr int kMaxModalWindows = 8;
constexpr int kCloseAgainMs = 100; // how soon a box that the ending upload shows is closed

} // namespace

CloseOnSignal::CloseOnSignal(QWidget& mainWindow) : mainWindow(mainWindow) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default action
    wakeRead = ends[0];
    wakeWrite = ends[1];
    notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &CloseOnSignal::Begin);
    closer = new QTimer(this);
    closer->setInterval(kCloseAgainMs);
    connect(closer, &QTimer::timeout, this, &CloseOnSignal::CloseWindows);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &action, &previous[i]);
}

CloseOnSignal::~CloseOnSignal() {
    if (notifier == nullptr)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
    delete notifier;
    close(wakeRead);
    close(wakeWrite);
    wakeRead = wakeWrite = -1;
}

void CloseOnSignal::Begin() {
    char bytes[64];
    while (read(wakeRead, bytes, sizeof bytes) > 0) {
    }
    CloseWindows();
    closer->start();
}

void CloseOnSignal::CloseWindows() {
    // A modal window (the set-up dialog, the open dialog, an error box) closes first, as its
    // close button would, so that the code that showed it goes on to its end.
    for (int i = 0; i < kMaxModalWindows; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->close())
            break;
    }
    // During an upload the window closes once the upload has ended.
    mainWindow.close();
}
