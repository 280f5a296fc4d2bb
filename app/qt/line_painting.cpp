#include "line_painting.h"

#include <QCoreApplication>
#include <QEvent>
#include <QInputEvent>
#include <QPointer>
#include <QWidget>

namespace {

// The window painted up to date by the last message processing, until its next line.
QPointer<QWidget>& PaintedWindow() {
    static QPointer<QWidget> window;
    return window;
}

// Watches the events of one message processing: notes whether any window is hidden, and runs
// beforeInput ahead of the first event that acts for the user.
class MessageWatch : public QObject {
public:
    explicit MessageWatch(const std::function<void()>& beforeInput) : beforeInput(beforeInput) {}

    bool windowHidden = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            windowHidden = true;
        if (beforeInput && ActsForTheUser(*event)) {
            const std::function<void()> once = std::move(beforeInput);
            beforeInput = nullptr;
            once();
        }
        return false;
    }

private:
    static bool ActsForTheUser(QEvent& event) {
        return dynamic_cast<QInputEvent*>(&event) != nullptr || event.type() == QEvent::Close;
    }

    std::function<void()> beforeInput;
};

} // namespace

void ProcessMessagesFor(QWidget& window, const std::function<void()>& beforeInput) {
    MessageWatch watch(beforeInput);
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
