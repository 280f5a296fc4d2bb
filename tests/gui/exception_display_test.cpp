// The standard exception display: an exception that escapes an event handler is shown and the
// loop goes on; one that escapes start-up is shown and the run still ends with 0.

#include "application.h"
#include "box_recorder.h"
#include "startup.h"

#include <QEvent>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

namespace {

const QEvent::Type kThrowingEvent = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type kPlainEvent = static_cast<QEvent::Type>(QEvent::User + 2);

// Throws from its handler of one event type and counts the others.
class Thrower : public QObject {
public:
    int handled = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() == kThrowingEvent)
            throw std::runtime_error("List index out of bounds (5)");
        if (event->type() == kPlainEvent) {
            ++handled;
            return true;
        }
        return QObject::event(event);
    }
};

} // namespace

class TestExceptionDisplay : public QObject {
    Q_OBJECT

private:
    static void CheckExceptionBox(const ShownBox& box, const QString& message) {
        QCOMPARE(box.title, QApplication::applicationName());
        QCOMPARE(box.text, message);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.buttonCount, qsizetype{1});
    }

private slots:
    void titleIsTheExecutablesName() {
        QCOMPARE(QApplication::applicationName(), QStringLiteral("exception_display_test"));
    }

    void exceptionInAnEventHandlerIsShownAndTheLoopGoesOn() {
        BoxRecorder recorder;
        Thrower thrower;
        QCoreApplication::postEvent(&thrower, new QEvent(kThrowingEvent));
        QCoreApplication::postEvent(&thrower, new QEvent(kPlainEvent));
        QTRY_COMPARE(thrower.handled, 1);
        QCOMPARE(recorder.boxes.size(), std::size_t{1});
        CheckExceptionBox(recorder.boxes[0], "List index out of bounds (5)");
    }

    void exceptionInAClickHandler() {
#if defined(__SANITIZE_ADDRESS__)
        // Qt's widget code is built without exception clean-ups: the exception skips the
        // destructors of the mouse handling that it passes, which LeakSanitizer reports.
        QSKIP("an exception through Qt's mouse handling leaks what that code held");
#endif
        BoxRecorder recorder;
        QPushButton button("Upgrade Software");
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, [&] {
            if (++clicks == 1)
                throw std::runtime_error("Out of memory");
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(recorder.boxes.size(), std::size_t{1});
        CheckExceptionBox(recorder.boxes[0], "Out of memory");
        QVERIFY(!button.isDown());
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 2);
        QCOMPARE(recorder.boxes.size(), std::size_t{1});
    }

    void otherErrorsShowAnEmptyMessage() {
        BoxRecorder recorder;
        QObject target;
        QMetaObject::invokeMethod(
            &target, [] { throw 42; }, Qt::QueuedConnection);
        QTRY_COMPARE(recorder.boxes.size(), std::size_t{1});
        CheckExceptionBox(recorder.boxes[0], QString());
    }

    void startUp_data() {
        QTest::addColumn<int>("kind"); // 0: nothing thrown, 1: std::exception, 2: anything else
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("message");
        QTest::newRow("clean run") << 0 << 0 << QString();
        QTest::newRow("library exception") << 1 << 1 << "Cannot create form";
        QTest::newRow("other error") << 2 << 1 << QString();
    }
    void startUp() {
        QFETCH(int, kind);
        QFETCH(int, boxes);
        QFETCH(QString, message);
        BoxRecorder recorder;
        const int exitCode = RunGuarded([kind] {
            if (kind == 1)
                throw std::runtime_error("Cannot create form");
            if (kind == 2)
                throw 7;
        });
        QCOMPARE(exitCode, 0);
        QCOMPARE(recorder.boxes.size(), static_cast<std::size_t>(boxes));
        if (boxes > 0)
            CheckExceptionBox(recorder.boxes[0], message);
    }
};

// The program's own application object, which the display belongs to, in place of QTEST_MAIN's.
int main(int argc, char* argv[]) {
    Application application(argc, argv);
    TestExceptionDisplay test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "exception_display_test.moc"
