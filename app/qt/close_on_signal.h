// Ends the program on SIGTERM, SIGHUP and SIGINT (logout, Ctrl+C) as a close of its main
// window does: the loop ends through the normal path and every destructor runs, so the serial
// port is released properly. A running upload goes on to its end first.
#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;
class QWidget;

class CloseOnSignal : public QObject {
public:
    // Catches the signals from now on, until destroyed; then they act as before again.
    explicit CloseOnSignal(QWidget& mainWindow);
    ~CloseOnSignal() override;

    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

private:
    void Begin();
    void CloseWindows();

    QWidget& mainWindow;
    QSocketNotifier* notifier = nullptr;
    // Keeps closing what the ending upload still shows (its error box after a closed dialog).
    QTimer* closer = nullptr;
};
