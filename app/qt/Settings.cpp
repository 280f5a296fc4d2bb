#include "Settings.h"

#include "Main.h"
#include "radio_group.h"
#include "return_as_space.h"
#include "ui_TFSETTINGS.h"
#include "window_font.h"

#include <QEvent>
#include <QPushButton>

TFSettings* FSettings = nullptr;

namespace {

constexpr QPoint kDesignedPosition(390, 204); // screen pixels

constexpr Qt::WindowFlags kTitleBarButtons =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;

} // namespace

TFSettings::TFSettings(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::TFSettings>()) {
    FSettings = this;
    setWindowFlags(kTitleBarButtons);
    ui->setupUi(this);
    btnOK = ui->btnOK;
    rComm = ui->rComm;

    move(kDesignedPosition);
    setFont(WindowFont());

    AnswerReturnLikeSpace(*btnOK);
    connect(rComm, &RadioGroup::clicked, this, &TFSettings::rCommClick);
    connect(btnOK, &QPushButton::clicked, this, &TFSettings::btnOKClick);
}

TFSettings::~TFSettings() {
    if (FSettings == this)
        FSettings = nullptr;
}

void TFSettings::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Minimised while it locks the main window: the main window goes with it, so that the
    // program is restored as a whole (the main window brings the dialog back).
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible() && isModal() &&
        FMain != nullptr && FMain->isVisible() && !FMain->isMinimized())
        FMain->setWindowState(FMain->windowState() | Qt::WindowMinimized);
}

void TFSettings::rCommClick() {}

void TFSettings::btnOKClick() {
    close(); // ends the modal showing as the close button does
}
