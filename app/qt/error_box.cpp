#include "error_box.h"

#include "message_box_runner.h"
#include "platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kIdOk = 1; // what the system's box returns for its OK button

// A title bar holds the title and, beside it, the window manager's icon and close button.
constexpr int kTitleBarRoom = 120; // pixels beside the title
constexpr int kMinimumWidth = 180; // pixels, as narrow as the system's boxes get

// A plain box: a title and a close button in the title bar, nothing to minimise or maximise.
constexpr Qt::WindowFlags kTitleBarButtons = Qt::Dialog | Qt::CustomizeWindowHint |
                                             Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                             Qt::WindowCloseButtonHint;

// The text and the button centred, no icon on the button, and room for the whole title.
void MakePlain(QMessageBox& box) {
    box.setWindowFlags(kTitleBarButtons);
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
    if (auto* buttons = box.findChild<QDialogButtonBox*>(QStringLiteral("qt_msgbox_buttonbox")))
        buttons->setCenterButtons(true);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label != nullptr) {
        label->setAlignment(Qt::AlignCenter);
        // The text takes the whole row, the column of the (absent) icon included.
        const int index = grid != nullptr ? grid->indexOf(label) : -1;
        if (index >= 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(index, &row, &column, &rows, &columns);
            grid->removeWidget(label);
            grid->addWidget(label, row, 0, rows, grid->columnCount());
        }
    }
    // The box takes the width of its layout: a spacer across it keeps the title readable.
    if (grid != nullptr) {
        const int titleWidth = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle());
        const int width = std::max(kMinimumWidth, titleWidth + kTitleBarRoom);
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

int SerialMessageBox(HWND, const char* text, const char* caption, UINT) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
        return kIdOk;
    }
    ShowErrorBox(QString::fromLocal8Bit(text != nullptr ? text : ""),
                 caption != nullptr ? QString::fromLocal8Bit(caption) : QString());
    return kIdOk;
}

} // namespace

void ShowErrorBox(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon,
                    caption.isEmpty() ? QString::fromLatin1(kDefaultErrorTitle) : caption, text,
                    QMessageBox::Ok);
    MakePlain(box);
    RunMessageBox(box);
}

void InstallSerialErrorBox() {
    Platform().MessageBoxA = SerialMessageBox;
}
