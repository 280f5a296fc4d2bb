// Whole uploads started by a click on "Upgrade Software", against the simulated receiver on a
// pseudo-terminal linked as COM3, and what the window does with presses and a close request
// that arrive while an upload runs.

#include "Main.h"
#include "Settings.h"
#include "connection.h"
#include "file_open_dialog.h"
#include "platform.h"
#include "radio_group.h"
#include "sim_process.h"
#include "temp_file.h"
#include "temp_ports.h"
#include "upload_image.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>

#include <algorithm>

#include <functional>
#include <memory>

namespace {

constexpr int kVerdictTimeoutMs = 20000; // an upper bound, not a delay
constexpr std::size_t kBlock = 4080;     // image bytes per block frame

// How a press of "Upgrade Software" reaches the window while an upload holds the thread.
enum class QueuedPress {
    Click,        // a mouse press and its release, queued in the program
    PressOnly,    // a mouse press queued; its release comes after the upload
    SpaceKey,     // the keyboard's press of a focused button, both key events queued
    XServerClick, // a real click, left to the X server and Qt's reader of it
};

// The log of a completed upload with the given number of progress lines.
QString CompletedLog(int progressLines) {
    QStringList lines{"Please turn ON the IRD", "Communication established"};
    for (int i = 1; i <= progressLines; ++i)
        lines.append(QStringLiteral("Block %1").arg(i));
    lines.append("Done.");
    return lines.join('\n');
}

} // namespace

Q_DECLARE_METATYPE(QueuedPress)

class TestUploadWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempPortsDir> ports;
    std::unique_ptr<SimProcess> receiver;
    QTemporaryDir images;
    QString receivedPath;
    std::unique_ptr<TFMain> window;
    std::unique_ptr<TFSettings> settings;
    int dialogShowings = 0;
    std::size_t linesBefore = 0; // lines of the receiver before the test
    // Runs once inside the upload, at its first message processing (after "Block 1").
    std::function<void()> duringUpload;

    QString MakeImage(std::size_t size) {
        const QString path = images.filePath(QStringLiteral("image-%1.bin").arg(size));
        WriteImageFile(QFile::encodeName(path).toStdString(), size, static_cast<unsigned>(size));
        return path;
    }

    // Answers the open dialog with path and arranges for duringUpload to run.
    void AnswerDialogWith(const QString& path) {
        FileOpenDialog::SetRunner([this, path](QFileDialog& dialog) {
            ++dialogShowings;
            dialog.selectFile(path);
            if (duringUpload)
                QMetaObject::invokeMethod(window.get(), duringUpload, Qt::QueuedConnection);
            return true;
        });
    }

    // Waits for the receiver's verdict on the dialogue, then compares what it received with the
    // image. A first block frame carries 4080 bytes even when the image is shorter.
    void ExpectReceived(const QString& imagePath) {
        const std::string verdict = receiver->WaitForLine("VERDICT", kVerdictTimeoutMs);
        QVERIFY2(verdict.rfind("VERDICT OK ", 0) == 0, verdict.c_str());
        const std::vector<std::uint8_t> sent = ReadWholeFile(imagePath.toStdString());
        std::vector<std::uint8_t> received = ReadWholeFile(receivedPath.toStdString());
        QCOMPARE(received.size(), std::max(sent.size(), kBlock));
        received.resize(sent.size());
        QCOMPARE(received, sent);
    }

    // Queues a press of "Upgrade Software" the given way, without handling it.
    void QueuePress(QueuedPress how) {
        QPushButton* button = window->btnSend;
        const QPointF inside = QRectF(button->rect()).center();
        const QPointF global = button->mapToGlobal(inside);
        const auto post = [&](QEvent::Type type) {
            QCoreApplication::postEvent(
                button,
                new QMouseEvent(type, inside, global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
        };
        switch (how) {
        case QueuedPress::Click:
            post(QEvent::MouseButtonPress);
            post(QEvent::MouseButtonRelease);
            break;
        case QueuedPress::PressOnly:
            post(QEvent::MouseButtonPress);
            break;
        case QueuedPress::SpaceKey:
            button->setFocus();
            QCoreApplication::postEvent(button,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, {}, " "));
            QCoreApplication::postEvent(button,
                                        new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, {}, " "));
            break;
        case QueuedPress::XServerClick: {
            const QPoint at = global.toPoint();
            QCOMPARE(QProcess::execute("xdotool", {"mousemove", QString::number(at.x()),
                                                   QString::number(at.y()), "click", "1"}),
                     0);
            break;
        }
        }
    }

    // The frames that the receiver took in since the test began, one line each.
    std::vector<std::string> FramesReceived() const {
        std::vector<std::string> frames;
        const std::vector<std::string> lines = receiver->Lines();
        for (std::size_t i = linesBefore; i < lines.size(); ++i) {
            if (lines[i].rfind("RX ", 0) == 0)
                frames.push_back(lines[i]);
        }
        return frames;
    }

private slots:
    void initTestCase() {
        QVERIFY(images.isValid());
        ports = std::make_unique<TempPortsDir>();
        receivedPath = images.filePath("received.bin");
        receiver = std::make_unique<SimProcess>(
            ports->PortsDir(), "COM3",
            std::vector<std::string>{"--out", receivedPath.toStdString()});
    }
    void cleanupTestCase() {
        receiver.reset();
        ports.reset();
    }
    void init() {
        window = std::make_unique<TFMain>();
        settings = std::make_unique<TFSettings>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        dialogShowings = 0;
        duringUpload = nullptr;
        linesBefore = receiver->Lines().size();
    }
    void cleanup() {
        FileOpenDialog::SetRunner({});
        settings.reset();
        window.reset();
    }

    void wholeUpload_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("progressLines");
        QTest::newRow("empty image") << 0 << 0;
        QTest::newRow("one block") << int{kBlock} << 0;
        QTest::newRow("one byte more") << int{kBlock + 1} << 1;
        QTest::newRow("four blocks and a bit") << int{4 * kBlock + 100} << 4;
    }
    void wholeUpload() {
        QFETCH(int, size);
        QFETCH(int, progressLines);
        const QString image = MakeImage(static_cast<std::size_t>(size));
        AnswerDialogWith(image);
        window->Log->setPlainText("typed by the user");

        QTest::mouseClick(window->btnSend, Qt::LeftButton);

        QCOMPARE(window->Log->toPlainText(), CompletedLog(progressLines));
        QCOMPARE(dialogShowings, 1);
        QCOMPARE(QString::fromStdString(imagePath), image);
        QVERIFY(Serial.IsOpen());
        QCOMPARE(QString(portSpec), QStringLiteral("COM3:115200,N,8,1"));
        ExpectReceived(image);
    }

    void secondPressDuringTheUploadIsIgnored() {
        const QString image = MakeImage(3 * kBlock + 1);
        AnswerDialogWith(image);
        QString logAtPress;
        duringUpload = [&] {
            QTest::mouseClick(window->btnSend, Qt::LeftButton);
            logAtPress = window->Log->toPlainText(); // what the user saw when pressing
        };

        QTest::mouseClick(window->btnSend, Qt::LeftButton);

        QCOMPARE(logAtPress, CompletedLog(1).section('\n', 0, 2));
        QCOMPARE(dialogShowings, 1);
        QCOMPARE(window->Log->toPlainText(), CompletedLog(3));
        ExpectReceived(image);
        // One dialogue: control frame 0x0012 at the wake-up and again at stage 2, no more.
        const std::vector<std::string> frames = FramesReceived();
        QCOMPARE(std::count_if(frames.begin(), frames.end(),
                               [](const std::string& frame) {
                                   return frame.rfind("RX ctrl code=0x0012 ", 0) == 0;
                               }),
                 2);
    }

    // A line of the block loop is painted while the next block crosses the line: once that
    // block's frames have been written and before its answer is awaited, so that its paint adds
    // no time on the line.
    void blockLinesArePaintedWhileTheNextBlockIsOnItsWay() {
        const QString image = MakeImage(4 * kBlock + 100);
        AnswerDialogWith(image);
        std::vector<std::string> events; // "write", "paint", and "read <last line of the log>"
        struct PaintNoter : QObject {
            std::vector<std::string>* events = nullptr;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint)
                    events->push_back("paint");
                return false;
            }
        } paints;
        paints.events = &events;
        window->Log->viewport()->installEventFilter(&paints);
        PlatformApi& os = Platform();
        const PlatformApi system = os;
        os.WriteFile = [&](HANDLE h, const void* buffer, DWORD count, DWORD* written, void* o) {
            events.push_back("write");
            return system.WriteFile(h, buffer, count, written, o);
        };
        os.ReadFile = [&](HANDLE h, void* buffer, DWORD count, DWORD* received, void* o) {
            if (events.empty() || events.back().rfind("read", 0) != 0)
                events.push_back("read " +
                                 window->Log->document()->lastBlock().text().toStdString());
            return system.ReadFile(h, buffer, count, received, o);
        };

        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        Platform() = system;

        QCOMPARE(window->Log->toPlainText(), CompletedLog(4));
        // The wait for the answer to the block after "Block n": what happened since the answer
        // before it.
        for (int n = 1; n <= 3; ++n) {
            const std::string wait = "read Block " + std::to_string(n);
            const auto at = std::find(events.begin(), events.end(), wait);
            QVERIFY2(at != events.end(), wait.c_str());
            auto since = std::find_if(std::make_reverse_iterator(at), events.rend(),
                                      [](const std::string& e) { return e.rfind("read", 0) == 0; })
                             .base();
            const std::vector<std::string> turn(since, at);
            // The last thing before the wait is the line's paint, with the block's frames
            // written before it. (Qt may paint some layout work of its own at the message
            // processing, as when the scroll bar first shows.)
            const auto lastWrite = std::find(turn.rbegin(), turn.rend(), "write");
            QVERIFY2(lastWrite != turn.rend() && lastWrite != turn.rbegin(), wait.c_str());
            QVERIFY2(turn.back() == "paint", wait.c_str());
        }
        ExpectReceived(image);
    }

    // With an image of one block the upload processes no message at all: whatever the user
    // did during it waits in the queue until the upload has ended. The press belongs to the
    // upload that was running and is dropped; the result stays.
    void pressQueuedDuringTheWakeUpIsDropped_data() {
        QTest::addColumn<QueuedPress>("how");
        QTest::newRow("click") << QueuedPress::Click;
        QTest::newRow("press, release after the upload") << QueuedPress::PressOnly;
        QTest::newRow("space key") << QueuedPress::SpaceKey;
        QTest::newRow("click through the X server") << QueuedPress::XServerClick;
    }
    void pressQueuedDuringTheWakeUpIsDropped() {
        QFETCH(QueuedPress, how);
        if (how == QueuedPress::XServerClick && QGuiApplication::platformName() != "xcb")
            QSKIP("needs an X server");
        const QString image = MakeImage(kBlock);
        // The dialog is answered before the wake-up; the press is queued there, so that it
        // waits through the whole upload.
        FileOpenDialog::SetRunner([&](QFileDialog& dialog) {
            if (++dialogShowings > 1)
                return false; // a second upload: the test has failed already
            dialog.selectFile(image);
            QueuePress(how);
            return true;
        });

        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        QCoreApplication::processEvents(); // the program's loop takes over again
        if (how == QueuedPress::PressOnly) {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5),
                                window->btnSend->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window->btnSend, &release);
        }
        QCoreApplication::processEvents();

        QCOMPARE(dialogShowings, 1);
        QCOMPARE(window->Log->toPlainText(), CompletedLog(0));
        ExpectReceived(image);
        const std::vector<std::string> frames = FramesReceived();
        QCOMPARE(std::count_if(frames.begin(), frames.end(),
                               [](const std::string& frame) {
                                   return frame.rfind("RX ctrl code=0x0012 ", 0) == 0;
                               }),
                 2);
    }

    void setupCommDuringTheUploadKeepsTheOpenPort() {
        const QString image = MakeImage(3 * kBlock);
        AnswerDialogWith(image);
        bool dialogShown = false;
        duringUpload = [&] {
            QTimer::singleShot(0, settings.get(), [&] {
                dialogShown = settings->isVisible() && settings->rComm->ItemIndex() == 2;
                QTest::mouseClick(settings->rComm->button(0), Qt::LeftButton); // COM1
                QTest::mouseClick(settings->btnOK, Qt::LeftButton);
            });
            QTest::mouseClick(window->btnSet, Qt::LeftButton);
        };

        QTest::mouseClick(window->btnSend, Qt::LeftButton);

        QVERIFY(dialogShown);
        QCOMPARE(portIndex, std::uint8_t{0});
        QCOMPARE(window->Log->toPlainText(), CompletedLog(2));
        ExpectReceived(image);

        // COM1 has no link here: only the port that is still open can carry the next upload.
        duringUpload = nullptr;
        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        QCOMPARE(window->Log->toPlainText(), CompletedLog(2));
        QCOMPARE(QString(portSpec), QStringLiteral("COM3:115200,N,8,1"));
        ExpectReceived(image);
    }

    void closeDuringTheUploadEndsTheRunAfterIt() {
        const QString image = MakeImage(3 * kBlock);
        AnswerDialogWith(image);
        bool visibleAfterRequest = false;
        duringUpload = [&] {
            window->close();
            visibleAfterRequest = window->isVisible();
        };
        // The program's message loop, which ends when the main window has closed. The guard
        // only keeps a broken close from hanging the test.
        bool guardFired = false;
        QTimer::singleShot(kVerdictTimeoutMs, qApp, [&] {
            guardFired = true;
            QCoreApplication::quit();
        });
        QTimer::singleShot(0, window.get(),
                           [&] { QTest::mouseClick(window->btnSend, Qt::LeftButton); });
        QApplication::exec();

        QVERIFY(!guardFired);
        QVERIFY(visibleAfterRequest);
        QCOMPARE(window->Log->toPlainText(), CompletedLog(2));
        QVERIFY(!window->isVisible());
        ExpectReceived(image);
    }

    void cancelledDialogSendsNothing() {
        FileOpenDialog::SetRunner([this](QFileDialog&) {
            ++dialogShowings;
            return false;
        });
        window->Log->setPlainText("typed by the user");
        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        QCOMPARE(dialogShowings, 1);
        QVERIFY(window->Log->toPlainText().isEmpty());
        QVERIFY(Serial.IsOpen());

        // The next dialogue's wake-up is the first frame that the receiver took in.
        const QString image = MakeImage(100);
        AnswerDialogWith(image);
        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        ExpectReceived(image);
        const std::vector<std::string> frames = FramesReceived();
        QVERIFY(!frames.empty());
        QVERIFY2(frames.front().rfind("RX ctrl code=0x0012 ", 0) == 0, frames.front().c_str());
    }

    void typedNameThatDoesNotExist() {
        AnswerDialogWith(images.filePath("no-such-image.bin"));
        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        QCOMPARE(window->Log->toPlainText(), QStringLiteral("Cannot open file."));
    }
};

QTEST_MAIN(TestUploadWindow)
#include "upload_window_test.moc"
