// Takes the place of the modal showing of message boxes and keeps what each box showed.
#pragma once

#include "message_box_runner.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <vector>

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    qsizetype buttonCount = 0;
    bool hasParent = false;
};

class BoxRecorder {
public:
    BoxRecorder() {
        SetMessageBoxRunner([this](QMessageBox& box) {
            boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                             box.buttons().size(), box.parentWidget() != nullptr});
        });
    }
    ~BoxRecorder() { SetMessageBoxRunner({}); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<ShownBox> boxes;
};
