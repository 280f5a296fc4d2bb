// The error box, as the upload and the serial layer show it.

#include "Main.h"
#include "box_recorder.h"
#include "error_box.h"
#include "platform.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScopeGuard>
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

    // Like the system's box: a title that the window manager has room for, the text and the
    // button centred, no icon anywhere, nothing to minimise or maximise.
    void looksLikeAPlainSystemBox_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("short") << "Port Error.";
        QTest::newRow("longer") << "Could not create handle";
    }
    void looksLikeAPlainSystemBox() {
        QFETCH(QString, text);
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            const auto closeBox = qScopeGuard([&] { box->button(QMessageBox::Ok)->click(); });
            const Qt::WindowFlags flags = box->windowFlags();
            QVERIFY(flags.testFlag(Qt::WindowTitleHint));
            QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
            QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
            QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
            QVERIFY(box->button(QMessageBox::Ok)->icon().isNull());
            QVERIFY(box->iconPixmap().isNull());

            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            QVERIFY(label != nullptr);
            QCOMPARE(label->text(), text);
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            const int middle = box->width() / 2;
            const QRect textRect(label->mapTo(box, label->contentsRect().topLeft()),
                                 label->contentsRect().size());
            const QRect okRect(ok->mapTo(box, QPoint(0, 0)), ok->size());
            // Centred to a pixel or two: the text in its label, the label and OK in the box.
            QVERIFY2(qAbs(textRect.center().x() - middle) <= 2,
                     qPrintable(QStringLiteral("text at %1, box middle %2")
                                    .arg(textRect.center().x())
                                    .arg(middle)));
            QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
            QVERIFY2(qAbs(okRect.center().x() - middle) <= 2,
                     qPrintable(QStringLiteral("OK at %1, box middle %2")
                                    .arg(okRect.center().x())
                                    .arg(middle)));
            // The title with the window manager's icon and close button beside it.
            const int titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            QVERIFY2(box->width() >= titleWidth + 100, qPrintable(QString::number(box->width())));
            checked = true;
        });
        ShowErrorBox(text);
        QVERIFY(checked);
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
