#include "Main.h"

#include "Settings.h"
#include "connection.h"
#include "error_box.h"
#include "file_open_dialog.h"
#include "line_painting.h"
#include "port_choice.h"
#include "queued_input.h"
#include "radio_group.h"
#include "return_as_space.h"
#include "small_thumb_style.h"
#include "ui_TFMAIN.h"
#include "upload_image.h"
#include "window_font.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QScrollBar>
#include <QWindow>

TFMain* FMain = nullptr;

namespace {

constexpr QPoint kDesignedPosition(317, 136); // screen pixels

constexpr Qt::WindowFlags kTitleBarButtons =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

} // namespace

TFMain::TFMain(QWidget* owner) : QWidget(owner), ui(std::make_unique<Ui::TFMain>()) {
    FMain = this;
    setWindowFlags(kTitleBarButtons);
    ui->setupUi(this);
    Log = ui->Log;
    btnSet = ui->btnSet;
    btnSend = ui->btnSend;
    OpenDlg1 = new FileOpenDialog(this);
    Label1 = ui->Label1;

    move(kDesignedPosition);
    setFont(WindowFont());
    Label1->adjustSize(); // the label takes the size of its text
    auto* thumbStyle = new SmallThumbStyle;
    thumbStyle->setParent(Log->verticalScrollBar()); // setStyle leaves the style to its owner
    Log->verticalScrollBar()->setStyle(thumbStyle);

    AnswerReturnLikeSpace(*btnSet);
    AnswerReturnLikeSpace(*btnSend);
    connect(btnSet, &QPushButton::clicked, this, &TFMain::btnSettingsClick);
    connect(btnSend, &QPushButton::clicked, this, &TFMain::btnSendClick);
    FormCreate();
}

TFMain::~TFMain() {
    if (FMain == this)
        FMain = nullptr;
}

void TFMain::FormCreate() {
    portIndex = kStartPort;
    setWindowTitle(QString::fromLatin1(kMainCaption));
}

void TFMain::btnSettingsClick() {
    FSettings->rComm->setItemIndex(ItemIndexForPort(portIndex));
    // For the window manager the dialog belongs to this window: they are minimised and
    // restored as one, and the locked window never stays alone on the screen.
    FSettings->winId();
    FSettings->windowHandle()->setTransientParent(windowHandle());
    FSettings->exec(); // whatever closes the dialog, the selection is taken
    portIndex = PortForItemIndex(FSettings->rComm->ItemIndex());
}

void TFMain::btnSendClick() {
    guard.Run(
        [this] {
            try {
                UploadImage(*this);
            } catch (...) {
                ShowPendingLines();
                throw;
            }
            ShowPendingLines(); // the last lines of a run have no wait after them
        },
        [this] { DropPressesOfTheUpload(); });
    if (guard.TakeDeferredClose())
        close();
}

void TFMain::DropPressesOfTheUpload() {
    // Presses that the user made while the upload held the thread reach their handlers now,
    // while the guard still turns a second upload away.
    DispatchQueuedInput(*this);
    // A press whose release comes only after the upload would click then: let go of it.
    for (QPushButton* button : {btnSet, btnSend})
        button->setDown(false);
}

void TFMain::closeEvent(QCloseEvent* event) {
    if (!guard.AllowClose()) {
        // The upload goes on to its end; the window closes after it (btnSendClick).
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TFMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Restored while the set-up dialog that locks it is minimised: the dialog comes back too,
    // whatever the window manager does with a dialog of its own.
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && FSettings != nullptr &&
        FSettings->isVisible() && FSettings->isMinimized()) {
        FSettings->setWindowState(FSettings->windowState() & ~Qt::WindowMinimized);
        FSettings->raise();
        FSettings->activateWindow();
    }
}

void TFMain::ClearLog() {
    pendingLines.clear();
    Log->clear();
}

void TFMain::AddLine(const std::string& text) {
    pendingLines.push_back(
        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    // During an upload a line is shown when the upload next waits for the receiver, once the
    // frames that follow it are on their way: painting then costs no time on the line. Any other
    // line is shown at once.
    if (!guard.Busy())
        ShowPendingLines();
}

void TFMain::AwaitingReply() {
    ShowPendingLines();
}

void TFMain::ShowPendingLines() {
    if (pendingLines.empty())
        return;
    for (const QString& line : pendingLines)
        Log->appendPlainText(line);
    pendingLines.clear();
    Log->verticalScrollBar()->setValue(Log->verticalScrollBar()->maximum());
    // An upload can hold this thread for 22 s after a line with no message processing, so the
    // line cannot wait for a paint event.
    PaintNewLine(*this);
}

bool TFMain::Execute(OpenDialog& dialog) {
    OpenDlg1->Filter = dialog.Filter;
    OpenDlg1->Title = dialog.Title;
    OpenDlg1->FileName = dialog.FileName;
    if (!OpenDlg1->Execute())
        return false;
    dialog.FileName = OpenDlg1->FileName;
    return true;
}

void TFMain::ErrorBox(const std::string& text) {
    ShowErrorBox(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

void TFMain::ProcessMessages() {
    // The line before this processing is shown when the next block is on its way; a user who
    // acts meanwhile sees it first.
    ProcessMessagesFor(*this, [this] { ShowPendingLines(); });
}
