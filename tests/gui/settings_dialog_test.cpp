// The communication set-up dialog: its definition, and how "Setup Comm" shows it and takes the
// chosen port, whatever closes it.

#include "Main.h"
#include "Settings.h"
#include "connection.h"
#include "radio_group.h"
#include "text_fit.h"
#include "ui_TFSETTINGS.h"
#include "window_font.h"

#include <QFontInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

enum class Closing { OkButton, CloseButton, Escape };

// What the user saw and did while the dialog was shown.
struct Showing {
    int shownIndex = -2;
    bool shownModal = false;
};

} // namespace

Q_DECLARE_METATYPE(Closing)

class TestSettingsDialog : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFMain> window;
    std::unique_ptr<TFSettings> settings;

    // Presses "Setup Comm". Once the dialog is up, clicks the port at clickIndex (none when -1)
    // and closes the dialog the given way.
    Showing PressSetupComm(int clickIndex, Closing closing) {
        Showing showing;
        QTimer::singleShot(0, settings.get(), [&] {
            QTRY_VERIFY(settings->isVisible());
            showing.shownIndex = settings->rComm->ItemIndex();
            showing.shownModal = QApplication::activeModalWidget() == settings.get();
            if (clickIndex >= 0)
                QTest::mouseClick(settings->rComm->button(clickIndex), Qt::LeftButton);
            switch (closing) {
            case Closing::OkButton:
                QTest::mouseClick(settings->btnOK, Qt::LeftButton);
                break;
            case Closing::CloseButton:
                // What the title bar's close button delivers.
                settings->close();
                break;
            case Closing::Escape:
                QTest::keyClick(settings.get(), Qt::Key_Escape);
                break;
            }
        });
        QTest::mouseClick(window->btnSet, Qt::LeftButton);
        return showing;
    }

private slots:
    void init() {
        window = std::make_unique<TFMain>();
        settings = std::make_unique<TFSettings>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        settings.reset();
        window.reset();
    }

    void definition() {
        QCOMPARE(settings->objectName(), QStringLiteral("FSettings"));
        QCOMPARE(settings->windowTitle(), QStringLiteral("Communication Setup"));
        QVERIFY(!settings->isVisible());
        QCOMPARE(settings->btnOK->text(), QStringLiteral("OK"));
        QCOMPARE(settings->rComm->title(), QStringLiteral("Select a Port"));
        QCOMPARE(settings->rComm->Items(), (QStringList{"COM1", "COM2", "COM3", "COM4"}));
        // The definition's selection, which "Setup Comm" replaces before every showing.
        QCOMPARE(settings->rComm->ItemIndex(), 1);
        QVERIFY(settings->btnOK->toolTip().isEmpty());
        QVERIFY(settings->toolTip().isEmpty());

        QDialog bare;
        Ui::TFSettings form;
        form.setupUi(&bare);
        QCOMPARE(form.rComm->ItemIndex(), 1);
        QCOMPARE(bare.windowTitle(), QStringLiteral("Communication Setup"));
    }

    void geometry() {
        QCOMPARE(settings->pos(), QPoint(390, 204));
        QCOMPARE(settings->size(), QSize(270, 153));
        QCOMPARE(settings->minimumSize(), QSize(270, 153));
        QCOMPARE(settings->maximumSize(), QSize(270, 153));
        QCOMPARE(settings->btnOK->geometry(), QRect(12, 124, 75, 25));
        QCOMPARE(settings->rComm->geometry(), QRect(10, 8, 251, 109));
    }

    void itemsInOneColumn() {
        settings->show(); // lays out the group
        QVERIFY(QTest::qWaitForWindowExposed(settings.get()));
        const QRect inside = settings->rComm->contentsRect();
        int lastTop = -1;
        for (int i = 0; i < 4; ++i) {
            QRadioButton* item = settings->rComm->button(i);
            QVERIFY(item != nullptr);
            QCOMPARE(item->text(), QStringLiteral("COM%1").arg(i + 1));
            QCOMPARE(item->x(), settings->rComm->button(0)->x());
            QVERIFY(item->y() > lastTop);
            QVERIFY(inside.contains(item->geometry()));
            lastTop = item->y();
        }
        QVERIFY(settings->rComm->button(4) == nullptr);
        settings->hide();
    }

    void titleBar() {
        const Qt::WindowFlags flags = settings->windowFlags();
        QVERIFY(flags.testFlag(Qt::Dialog));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    }

    void fontAndTextsFit() {
        QCOMPARE(settings->font(), WindowFont());
        QCOMPARE(QFontInfo(settings->font()).family(), QStringLiteral("DejaVu Sans Condensed"));
        QVERIFY(FitsPushButton(*settings->btnOK));
        settings->show(); // lays out the group
        QVERIFY(QTest::qWaitForWindowExposed(settings.get()));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(settings->rComm->button(i)->font(), WindowFont());
            QVERIFY(FitsRadioButton(*settings->rComm->button(i)));
        }
        const QFontMetrics metrics(settings->rComm->font());
        QVERIFY(metrics.horizontalAdvance(settings->rComm->title()) <
                settings->rComm->width() - 16);
        settings->hide();
    }

    void okIsNeitherDefaultNorCancel() {
        QVERIFY(!settings->btnOK->isDefault());
        QVERIFY(!settings->btnOK->autoDefault());
    }

    void tabOrder() {
        settings->rComm->setItemIndex(2);
        settings->show();
        settings->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(settings.get()));
        settings->btnOK->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), settings->btnOK);
        QTest::keyClick(settings->btnOK, Qt::Key_Tab);
        QWidget* next = QApplication::focusWidget();
        QVERIFY(settings->rComm->isAncestorOf(next));
        QTest::keyClick(next, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), settings->btnOK);
        settings->hide();
    }

    // Tab into the group lands on the selected port, whichever it is; the arrow keys move the
    // selection, and Tab leaves the group again.
    void keyboardInThePortGroup_data() {
        QTest::addColumn<int>("selected");
        for (int i = 0; i < 4; ++i)
            QTest::addRow("COM%d", i + 1) << i;
    }
    void keyboardInThePortGroup() {
        QFETCH(int, selected);
        settings->rComm->setItemIndex(selected);
        settings->show();
        settings->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(settings.get()));
        settings->btnOK->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), settings->btnOK);
        QTest::keyClick(settings->btnOK, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), settings->rComm->button(selected));

        const int down = selected < 3 ? selected + 1 : selected;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(settings->rComm->ItemIndex(), down);
        QCOMPARE(QApplication::focusWidget(), settings->rComm->button(down));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        const int up = std::max(down - 2, 0);
        QCOMPARE(settings->rComm->ItemIndex(), up);
        QCOMPARE(QApplication::focusWidget(), settings->rComm->button(up));

        // Back to OK, and once more into the group: onto the new selection.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), settings->btnOK);
        QTest::keyClick(settings->btnOK, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), settings->rComm->button(up));
        settings->hide();
    }

    // A focused OK answers Return as it answers Space: the dialog closes and the choice is
    // taken.
    void returnOnOkClosesTheDialog_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Space") << int{Qt::Key_Space};
        QTest::newRow("Return") << int{Qt::Key_Return};
        QTest::newRow("Enter") << int{Qt::Key_Enter};
    }
    void returnOnOkClosesTheDialog() {
        QFETCH(int, key);
        bool closedByKey = false;
        QTimer::singleShot(0, settings.get(), [&] {
            QTRY_VERIFY(settings->isVisible());
            QTest::mouseClick(settings->rComm->button(0), Qt::LeftButton);
            settings->btnOK->setFocus();
            QTest::keyClick(settings->btnOK, static_cast<Qt::Key>(key));
            closedByKey = !settings->isVisible();
            if (!closedByKey)
                settings->close();
        });
        QTest::mouseClick(window->btnSet, Qt::LeftButton);
        QVERIFY(closedByKey);
        QCOMPARE(portIndex, std::uint8_t{0});
    }

    // The main window cannot be used while the dialog is up: a minimised dialog takes the
    // window with it, and restoring the window brings the dialog back.
    void minimisedDialogComesBackWithTheWindow() {
        constexpr int kStateMs = 5000; // an upper bound for the window system's answer
        bool windowMinimised = false;
        bool dialogBack = false;
        QTimer::singleShot(0, settings.get(), [&] {
            QTRY_VERIFY(settings->isVisible());
            settings->setWindowState(settings->windowState() | Qt::WindowMinimized);
            windowMinimised = QTest::qWaitFor([&] { return window->isMinimized(); }, kStateMs);
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
            dialogBack = QTest::qWaitFor(
                [&] { return settings->isVisible() && !settings->isMinimized(); }, kStateMs);
            settings->close();
        });
        QTest::mouseClick(window->btnSet, Qt::LeftButton);
        QVERIFY(windowMinimised);
        QVERIFY(dialogBack);
        QVERIFY(!window->isMinimized());
    }

    // For the window manager the dialog belongs to the main window (WM_TRANSIENT_FOR), so that
    // the two are minimised and restored as one.
    void dialogIsTransientForTheWindow() {
        QWindow* transientParent = nullptr;
        QTimer::singleShot(0, settings.get(), [&] {
            QTRY_VERIFY(settings->isVisible());
            transientParent = settings->windowHandle()->transientParent();
            settings->close();
        });
        QTest::mouseClick(window->btnSet, Qt::LeftButton);
        QCOMPARE(transientParent, window->windowHandle());
    }

    void firstShowingSelectsCom3() {
        const Showing showing = PressSetupComm(-1, Closing::OkButton);
        QCOMPARE(showing.shownIndex, 2);
        QVERIFY(showing.shownModal);
        QVERIFY(!settings->isVisible());
        QCOMPARE(portIndex, std::uint8_t{2});
    }

    void choiceIsStored_data() {
        QTest::addColumn<int>("startPort");
        QTest::addColumn<int>("click"); // -1: no click
        QTest::addColumn<Closing>("closing");
        QTest::addColumn<int>("storedPort");
        QTest::newRow("COM1, OK") << 2 << 0 << Closing::OkButton << 0;
        QTest::newRow("COM4, close button") << 2 << 3 << Closing::CloseButton << 3;
        QTest::newRow("COM2, Escape") << 2 << 1 << Closing::Escape << 1;
        QTest::newRow("no click, OK") << 0 << -1 << Closing::OkButton << 0;
        QTest::newRow("no click, close button") << 3 << -1 << Closing::CloseButton << 3;
        QTest::newRow("no click, Escape") << 1 << -1 << Closing::Escape << 1;
        QTest::newRow("selected one clicked again") << 2 << 2 << Closing::OkButton << 2;
    }
    void choiceIsStored() {
        QFETCH(int, startPort);
        QFETCH(int, click);
        QFETCH(Closing, closing);
        QFETCH(int, storedPort);
        portIndex = static_cast<std::uint8_t>(startPort);
        const Showing showing = PressSetupComm(click, closing);
        QCOMPARE(showing.shownIndex, startPort);
        QVERIFY(!settings->isVisible());
        QCOMPARE(int{portIndex}, storedPort);

        // The next showing starts from the stored port.
        const Showing next = PressSetupComm(-1, Closing::OkButton);
        QCOMPARE(next.shownIndex, storedPort);
        QCOMPARE(int{portIndex}, storedPort);
    }

    void storedPortIsAlwaysOneOfTheFour() {
        for (int start = 0; start < 4; ++start) {
            for (int click = -1; click < 4; ++click) {
                for (Closing closing : {Closing::OkButton, Closing::CloseButton, Closing::Escape}) {
                    portIndex = static_cast<std::uint8_t>(start);
                    PressSetupComm(click, closing);
                    QCOMPARE(int{portIndex}, click >= 0 ? click : start);
                    QVERIFY(portIndex <= 3);
                }
            }
        }
    }

    void okClosesTheDialog() {
        settings->show();
        QVERIFY(QTest::qWaitForWindowExposed(settings.get()));
        QTest::mouseClick(settings->btnOK, Qt::LeftButton);
        QVERIFY(!settings->isVisible());
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "settings_dialog_test.moc"
