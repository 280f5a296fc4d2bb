// The main window: its definition, the settings that FormCreate makes, and the status log.

#include "Main.h"
#include "Settings.h"
#include "connection.h"
#include "file_open_dialog.h"
#include "text_fit.h"
#include "ui_TFMAIN.h"
#include "window_font.h"

#include <QFontInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTextBlock>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

// Counts the paint events that reach one widget.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFMain> window;
    std::unique_ptr<TFSettings> settings;

    QWidget* Control(const QString& name) const {
        if (name == QLatin1String("FMain"))
            return window.get();
        return window->findChild<QWidget*>(name);
    }

private slots:
    void init() {
        portIndex = 0;
        window = std::make_unique<TFMain>();
        settings = std::make_unique<TFSettings>();
    }
    void cleanup() {
        QToolTip::hideText();
        settings.reset();
        window.reset();
    }

    void definitionCaptionIsReplacedAtCreation() {
        QWidget bare;
        Ui::TFMain definition;
        definition.setupUi(&bare);
        QCOMPARE(bare.windowTitle(), QStringLiteral("brisko K71"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Brisko K71 0.2"));
    }

    void startState() {
        QCOMPARE(FMain, window.get());
        QCOMPARE(FSettings, settings.get());
        QCOMPARE(window->objectName(), QStringLiteral("FMain"));
        QCOMPARE(portIndex, std::uint8_t{2});
        QVERIFY(window->Log->toPlainText().isEmpty());
        QVERIFY(!window->isVisible());
        QVERIFY(!settings->isVisible());
    }

    void texts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("Label1") << "Label1"
                                << "Status";
        QTest::newRow("btnSet") << "btnSet"
                                << "Setup Comm";
        QTest::newRow("btnSend") << "btnSend"
                                 << "Upgrade Software";
    }
    void texts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget* control = Control(name);
        QVERIFY(control != nullptr);
        if (auto* label = qobject_cast<QLabel*>(control))
            QCOMPARE(label->text(), text);
        else
            QCOMPARE(qobject_cast<QPushButton*>(control)->text(), text);
    }

    void membersAreTheDefinitionsControls() {
        QCOMPARE(window->Log, Control("Log"));
        QCOMPARE(window->btnSet, Control("btnSet"));
        QCOMPARE(window->btnSend, Control("btnSend"));
        QCOMPARE(window->Label1, Control("Label1"));
        QVERIFY(window->OpenDlg1 != nullptr);
        QCOMPARE(window->OpenDlg1->parent(), window.get());
    }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Log") << "Log" << QRect(0, 70, 349, 53);
        QTest::newRow("btnSet") << "btnSet" << QRect(2, 0, 97, 25);
        QTest::newRow("btnSend") << "btnSend" << QRect(2, 28, 97, 25);
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QCOMPARE(Control(name)->geometry(), rect);
    }

    void labelSizesItselfToItsText() {
        QCOMPARE(window->Label1->pos(), QPoint(2, 56));
        QCOMPARE(window->Label1->size(), window->Label1->sizeHint());
        QVERIFY(FitsLabel(*window->Label1));
        // It stays clear of the log below it.
        QVERIFY(window->Label1->geometry().bottom() < window->Log->geometry().top());
    }

    void windowPositionAndFixedClientSize() {
        QCOMPARE(window->pos(), QPoint(317, 136));
        QCOMPARE(window->size(), QSize(351, 127));
        QCOMPARE(window->minimumSize(), QSize(351, 127));
        QCOMPARE(window->maximumSize(), QSize(351, 127));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), QSize(351, 127));
        window->resize(500, 300);
        QCOMPARE(window->size(), QSize(351, 127));
    }

    void titleBarOffersMinimiseButNoMaximise() {
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::Window));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    }

    void oneFontForEveryControl_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"FMain", "Label1", "Log", "btnSet", "btnSend"})
            QTest::newRow(name) << name;
    }
    void oneFontForEveryControl() {
        QFETCH(QString, name);
        const QFont font = Control(name)->font();
        QCOMPARE(font, WindowFont());
        QCOMPARE(font.pixelSize(), 11);
        // The face is installed, not a stand-in.
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("DejaVu Sans Condensed"));
    }

    void buttonTextsFit_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("btnSet") << "btnSet";
        QTest::newRow("btnSend") << "btnSend";
    }
    void buttonTextsFit() {
        QFETCH(QString, name);
        QVERIFY(FitsPushButton(*qobject_cast<QPushButton*>(Control(name))));
    }

    void logShowsAtLeastTwoLines() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QFontMetrics metrics(window->Log->font());
        QVERIFY(2 * metrics.lineSpacing() <= window->Log->viewport()->height());
    }

    void logSettings() {
        QPlainTextEdit* log = window->Log;
        QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(!log->isReadOnly());
        QVERIFY(log->tabChangesFocus());
    }

    void buttonsAreNeitherDefaultNorAutoDefault() {
        for (QPushButton* button : {window->btnSet, window->btnSend}) {
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }
    }

    void tooltip_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("point"); // in the window
        QTest::newRow("empty area") << "FMain" << QPoint(250, 20);
        QTest::newRow("Label1") << "Label1" << QPoint(10, 60);
        QTest::newRow("Log") << "Log" << QPoint(100, 95);
        QTest::newRow("btnSet") << "btnSet" << QPoint(40, 12);
        QTest::newRow("btnSend") << "btnSend" << QPoint(40, 40);
    }
    void tooltip() {
        QFETCH(QString, name);
        QFETCH(QPoint, point);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QWidget* control = Control(name);
        QVERIFY(control->toolTip().isEmpty() || control == window.get());

        QWidget* target = window->childAt(point);
        if (target == nullptr)
            target = window.get();
        QVERIFY(target == control || control->isAncestorOf(target));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        const QPoint local = target->mapFrom(window.get(), point);
        QHelpEvent help(QEvent::ToolTip, local, target->mapToGlobal(local));
        QApplication::sendEvent(target, &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("Send INS"));
    }

    void tabOrder() {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->Log->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), window->Log);
        const QList<QWidget*> order = {window->btnSet, window->btnSend, window->Log};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QCOMPARE(window->Label1->focusPolicy(), Qt::NoFocus);
    }

    // A focused button answers Return and Enter as it answers Space.
    void buttonsAnswerReturn_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");
        for (const char* name : {"btnSet", "btnSend"}) {
            QTest::addRow("%s, Space", name) << name << int{Qt::Key_Space};
            QTest::addRow("%s, Return", name) << name << int{Qt::Key_Return};
            QTest::addRow("%s, Enter", name) << name << int{Qt::Key_Enter};
        }
    }
    void buttonsAnswerReturn() {
        QFETCH(QString, name);
        QFETCH(int, key);
        auto* button = qobject_cast<QPushButton*>(Control(name));
        // The handlers would show dialogs: count the clicks instead.
        button->disconnect(window.get());
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        button->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), button);
        QTest::keyClick(button, static_cast<Qt::Key>(key));
        QCOMPARE(clicks, 1);
        // Held down, the key clicks once, when it is let go, as Space does.
        QTest::keyPress(button, static_cast<Qt::Key>(key));
        QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(button, &repeat);
        QCOMPARE(clicks, 1);
        QTest::keyRelease(button, static_cast<Qt::Key>(key));
        QCOMPARE(clicks, 2);
    }

    void userCanTypeIntoTheLog() {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->Log->setFocus();
        QTest::keyClicks(window->Log, "typed");
        QCOMPARE(window->Log->toPlainText(), QStringLiteral("typed"));
        window->ClearLog();
        QVERIFY(window->Log->toPlainText().isEmpty());
    }

    void addLineAppendsLines() {
        window->AddLine("Please turn ON the IRD");
        window->AddLine("Communication established");
        QCOMPARE(window->Log->toPlainText(),
                 QStringLiteral("Please turn ON the IRD\nCommunication established"));
        window->ClearLog();
        QVERIFY(window->Log->toPlainText().isEmpty());
        window->ClearLog();
        QVERIFY(window->Log->toPlainText().isEmpty());
    }

    void addLinePaintsAtOnce() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        PaintCounter counter;
        window->Log->viewport()->installEventFilter(&counter);
        // No event is processed between the two counts: the paint comes from AddLine itself.
        const int before = counter.count;
        window->AddLine("Please turn ON the IRD");
        QVERIFY(counter.count > before);
        window->Log->viewport()->removeEventFilter(&counter);
    }

    // What a line paints at once: after message processing only what it changed (the block
    // loop's lines), else the whole window (the first lines after the open dialog, a line after
    // a window was closed during message processing).
    void linePaints_data() {
        QTest::addColumn<bool>("processFirst");
        QTest::addColumn<bool>("hideWindowWhileProcessing");
        QTest::addColumn<bool>("buttonsPainted");
        QTest::newRow("no message processing before") << false << false << true;
        QTest::newRow("right after message processing") << true << false << false;
        QTest::newRow("a window hidden during processing") << true << true << true;
    }
    void linePaints() {
        QFETCH(bool, processFirst);
        QFETCH(bool, hideWindowWhileProcessing);
        QFETCH(bool, buttonsPainted);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->AddLine("Please turn ON the IRD");
        QWidget other;
        other.resize(80, 40);
        if (hideWindowWhileProcessing) {
            other.show();
            QVERIFY(QTest::qWaitForWindowExposed(&other));
            QMetaObject::invokeMethod(&other, &QWidget::hide, Qt::QueuedConnection);
        }
        if (processFirst) {
            window->ProcessMessages();
            QVERIFY(!other.isVisible());
        }
        PaintCounter logPaints;
        PaintCounter buttonPaints;
        window->Log->viewport()->installEventFilter(&logPaints);
        window->btnSend->installEventFilter(&buttonPaints);

        window->AddLine("Block 1");

        QVERIFY(logPaints.count > 0);
        QCOMPARE(buttonPaints.count > 0, buttonsPainted);
        // The next line follows no message processing: the whole window again.
        buttonPaints.count = 0;
        window->AddLine("Block 2");
        QVERIFY(buttonPaints.count > 0);
        QCOMPARE(window->Log->document()->lastBlock().text(), QStringLiteral("Block 2"));
        QVERIFY(window->Log->document()->lastBlock().isVisible());
    }

    void newestLineIsInView() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (int i = 1; i <= 30; ++i)
            window->AddLine("Block " + std::to_string(i));
        QScrollBar* bar = window->Log->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        const QTextBlock last = window->Log->document()->lastBlock();
        QCOMPARE(last.text(), QStringLiteral("Block 30"));
        QVERIFY(last.isVisible());
    }

    // After "Done." most lines of an upload are above the view: the thumb shows it.
    void scrollBarThumbShowsHiddenLines() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (int i = 1; i <= 25; ++i)
            window->AddLine("Block " + std::to_string(i));
        window->AddLine("Done.");
        QScrollBar* bar = window->Log->verticalScrollBar();
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Vertical;
        option.subControls = QStyle::SC_All;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        const QRect groove = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                          QStyle::SC_ScrollBarGroove, bar);
        const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                         QStyle::SC_ScrollBarSlider, bar);
        QVERIFY2(thumb.height() > 0 && thumb.height() < groove.height(),
                 qPrintable(QStringLiteral("thumb %1 px in a %2 px track")
                                .arg(thumb.height())
                                .arg(groove.height())));
        // At the end of the track, as the newest line is in view.
        QCOMPARE(thumb.bottom(), groove.bottom());
        // And drawn: the style paints it only when the track has room for it.
        QVERIFY(bar->style()->pixelMetric(QStyle::PM_ScrollBarSliderMin, &option, bar) <=
                groove.height());
    }

    void typedTextIsClearedByTheNextUpload() {
        window->Log->setPlainText(QStringLiteral("note of the user"));
        window->ClearLog();
        QVERIFY(window->Log->toPlainText().isEmpty());
    }

    void closesWhenIdle() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "main_window_test.moc"
