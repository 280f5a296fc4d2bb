// The communication set-up dialog, in which the user chooses the serial port.
#pragma once

#include <QDialog>

#include <memory>

class QPushButton;
class RadioGroup;

namespace Ui {
class TFSettings;
}

class TFSettings : public QDialog {
    Q_OBJECT

public:
    explicit TFSettings(QWidget* owner = nullptr);
    ~TFSettings() override;

    QPushButton* btnOK;
    // "COM1" to "COM4"; the position of the selected item is the port index.
    RadioGroup* rComm;

    // A click on a port only moves the selection, which is read after the dialog closes.
    void rCommClick();
    void btnOKClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    std::unique_ptr<Ui::TFSettings> ui;
};

// The one set-up dialog, from start-up to the end of the run.
extern TFSettings* FSettings;
