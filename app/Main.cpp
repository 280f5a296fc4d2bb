#include "Main.h"

#include "Settings.h"
#include "connection.h"
#include "error_box.h"
#include "file_open_dialog.h"
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
constexpr std::uint8_t kStartPort = 2;        // COM3

constexpr Qt::WindowFlags kTitleBarButtons =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// Clears a flag when the scope ends, however it ends.
class ClearOnExit {
public:
    explicit ClearOnExit(bool& flag) : flag(flag) {}
    ~ClearOnExit() { flag = false; }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

private:
    bool& flag;
};

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
    setWindowTitle(QStringLiteral("Brisko K71 0.2"));
}

void TFMain::btnSettingsClick() {
    FSettings->rComm->setItemIndex(portIndex);
    FSettings->exec(); // whatever closes the dialog, the selection is taken
    portIndex = static_cast<std::uint8_t>(FSettings->rComm->ItemIndex());
}

void TFMain::btnSendClick() {
    // A press handled at the message processing inside a running upload would start a second
    // upload on the same port, its frames interleaved with this one's: it is ignored.
    if (uploading)
        return;
    uploading = true;
    {
        ClearOnExit busy(uploading);
        UploadImage(*this);
    }
    if (closeRequested) {
        closeRequested = false;
        close();
    }
}

void TFMain::closeEvent(QCloseEvent* event) {
    if (uploading) {
        // The upload goes on to its end; the window closes after it (btnSendClick).
        closeRequested = true;
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
    // line cannot wait for a paint event: paint the window now, the area that a closed dialog
    // uncovered included.
    repaint();
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
    QCoreApplication::processEvents();
}
