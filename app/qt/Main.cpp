#include "Main.h"

#include "Settings.h"
#include "connection.h"
#include "error_box.h"
#include "file_open_dialog.h"
#include "line_painting.h"
#include "port_choice.h"
#include "radio_group.h"
#include "ui_TFMAIN.h"
#include "upload_image.h"
#include "window_font.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScrollBar>

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
    FSettings->exec(); // whatever closes the dialog, the selection is taken
    portIndex = PortForItemIndex(FSettings->rComm->ItemIndex());
}

void TFMain::btnSendClick() {
    guard.Run([this] { UploadImage(*this); });
    if (guard.TakeDeferredClose())
        close();
}

void TFMain::closeEvent(QCloseEvent* event) {
    if (!guard.AllowClose()) {
        // The upload goes on to its end; the window closes after it (btnSendClick).
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TFMain::ClearLog() {
    Log->clear();
}

void TFMain::AddLine(const std::string& text) {
    Log->appendPlainText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
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
    ProcessMessagesFor(*this);
}
