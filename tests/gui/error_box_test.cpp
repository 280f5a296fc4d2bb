// The error box, as the upload and the serial layer show it.

#include "Main.h"
#include "box_recorder.h"
#include "error_box.h"
#include "platform.h"

#include <QTimer>
#include <QtTest>

class TestErrorBox : public QObject {
    Q_OBJECT

private:
    static void CheckErrorBox(const ShownBox& box, const QString& text) {
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.buttonCount, qsizetype{1});
        QVERIFY(!box.hasParent);
    }

private slots:
    void cleanup() { Platform() = SystemPlatform(); }

    void errorBoxOfTheWindow() {
        BoxRecorder recorder;
        TFMain window;
        window.ErrorBox("Port Error.");
        QCOMPARE(recorder.boxes.size(), std::size_t{1});
        CheckErrorBox(recorder.boxes[0], "Port Error.");
    }

    void serialLayerBoxesAreTheErrorBox_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("create") << "Could not create handle";
        QTest::newRow("state") << "SetCommState failed";
    }
    void serialLayerBoxesAreTheErrorBox() {
        QFETCH(QString, text);
        BoxRecorder recorder;
        InstallSerialErrorBox();
        const QByteArray bytes = text.toLocal8Bit();
        QCOMPARE(Platform().MessageBoxA(nullptr, bytes.constData(), nullptr, MB_OK), 1);
        QCOMPARE(recorder.boxes.size(), std::size_t{1});
        CheckErrorBox(recorder.boxes[0], text);
    }

    void shownModallyUntilOk() {
        QMessageBox* shown = nullptr;
        bool wasVisible = false;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(shown != nullptr);
            wasVisible = shown->isVisible();
            modal = shown->isModal();
            QTest::mouseClick(shown->button(QMessageBox::Ok), Qt::LeftButton);
        });
        ShowErrorBox("Port Error.");
        QVERIFY(wasVisible);
        QVERIFY(modal);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
};

QTEST_MAIN(TestErrorBox)
#include "error_box_test.moc"
