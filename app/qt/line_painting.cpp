#include "line_painting.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

// The window painted up to date by the last message processing, until its next line.
QPointer<QWidget>& PaintedWindow() {
    static QPointer<QWidget> window;
    return window;
}

// Notes whether any window is hidden while it watches the application's events.
class HideWatch : public QObject {
public:
    bool windowHidden = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            windowHidden = true;
        return false;
    }
};

} // namespace

void ProcessMessagesFor(QWidget& window) {
    HideWatch watch;
    QCoreApplication::instance()->installEventFilter(&watch);
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&watch);
    PaintedWindow() = watch.windowHidden ? nullptr : &window;
}

void PaintNewLine(QWidget& window) {
    if (PaintedWindow() == &window) {
        // The log has marked what the line changed; paint just that, and nothing else is
        // dispatched: the update requests of this window are paint events.
        QCoreApplication::sendPostedEvents(&window, QEvent::UpdateRequest);
    } else {
        window.repaint();
    }
    PaintedWindow() = nullptr; // the next line may follow anything
}
