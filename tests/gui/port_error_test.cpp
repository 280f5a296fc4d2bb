// A port that cannot be opened: the serial layer's box, then "Port Error.", and nothing else;
// a port chosen afterwards is used by the next press.

#include "Main.h"
#include "Settings.h"
#include "box_recorder.h"
#include "connection.h"
#include "error_box.h"
#include "file_open_dialog.h"
#include "radio_group.h"
#include "sim_process.h"
#include "temp_file.h"
#include "temp_ports.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestPortError : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempPortsDir> ports;
    std::unique_ptr<TFMain> window;
    std::unique_ptr<TFSettings> settings;
    int dialogShowings = 0;

private slots:
    void initTestCase() {
        ports = std::make_unique<TempPortsDir>();
        // COM3, where the program starts, leads nowhere.
        ports->Link("COM3", ports->Root() + "/no-such-device");
        InstallSerialErrorBox();
        window = std::make_unique<TFMain>();
        settings = std::make_unique<TFSettings>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        FileOpenDialog::SetRunner([this](QFileDialog&) {
            ++dialogShowings;
            return false;
        });
    }
    void cleanupTestCase() {
        FileOpenDialog::SetRunner({});
        settings.reset();
        window.reset();
        ports.reset();
    }

    void portErrorAfterTheSerialLayersBox() {
        for (int press = 0; press < 2; ++press) {
            BoxRecorder boxes;
            window->Log->setPlainText("typed by the user");
            QTest::mouseClick(window->btnSend, Qt::LeftButton);
            QCOMPARE(boxes.boxes.size(), std::size_t{2});
            QCOMPARE(boxes.boxes[0].text, QStringLiteral("Could not create handle"));
            QCOMPARE(boxes.boxes[0].title, QStringLiteral("Error"));
            QCOMPARE(boxes.boxes[1].text, QStringLiteral("Port Error."));
            QCOMPARE(boxes.boxes[1].title, QStringLiteral("Error"));
            QCOMPARE(boxes.boxes[1].icon, QMessageBox::NoIcon);
            QVERIFY(window->Log->toPlainText().isEmpty());
            QCOMPARE(dialogShowings, 0);
            QVERIFY(!Serial.IsOpen());
            QCOMPARE(QString(portSpec), QStringLiteral("COM3:115200,N,8,1"));
        }
    }

    void portChosenAfterTheFailureIsUsed() {
        SimProcess receiver(ports->PortsDir(), "COM1", {});
        QTemporaryDir images;
        const QString image = images.filePath("rom_S.bin");
        WriteImageFile(image.toStdString(), 5000, 1);
        FileOpenDialog::SetRunner([&](QFileDialog& dialog) {
            dialog.selectFile(image);
            return true;
        });
        QTimer::singleShot(0, settings.get(), [&] {
            QTest::mouseClick(settings->rComm->button(0), Qt::LeftButton);
            QTest::mouseClick(settings->btnOK, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnSet, Qt::LeftButton);
        QCOMPARE(portIndex, std::uint8_t{0});

        BoxRecorder boxes;
        QTest::mouseClick(window->btnSend, Qt::LeftButton);
        QVERIFY(boxes.boxes.empty());
        QCOMPARE(
            window->Log->toPlainText(),
            QStringLiteral("Please turn ON the IRD\nCommunication established\nBlock 1\nDone."));
        QCOMPARE(QString(portSpec), QStringLiteral("COM1:115200,N,8,1"));
        const std::string verdict = receiver.WaitForLine("VERDICT", 20000);
        QVERIFY2(verdict.rfind("VERDICT OK ", 0) == 0, verdict.c_str());
    }
};

QTEST_MAIN(TestPortError)
#include "port_error_test.moc"
