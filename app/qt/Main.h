// The main window: the status log with its two buttons, and the services that an upload
// needs from the window that runs it.
#pragma once

#include "upload_guard.h"
#include "upload_host.h"

#include <QStringList>
#include <QWidget>

#include <memory>

class FileOpenDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class TFMain;
}

class TFMain : public QWidget, public UploadHost {
    Q_OBJECT

public:
    explicit TFMain(QWidget* owner = nullptr);
    ~TFMain() override;

    QPlainTextEdit* Log;
    QPushButton* btnSet;
    QPushButton* btnSend;
    FileOpenDialog* OpenDlg1;
    QLabel* Label1;

    // "Setup Comm": lets the user choose the port in the set-up dialog.
    void btnSettingsClick();
    // Runs once while the window is still hidden.
    void FormCreate();
    // "Upgrade Software": one whole upload.
    void btnSendClick();

    void ClearLog() override;
    void AddLine(const std::string& text) override;
    bool Execute(OpenDialog& dialog) override;
    void ErrorBox(const std::string& text) override;
    void ProcessMessages() override;
    void AwaitingReply() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Runs at the end of an upload, still inside the guard.
    void DropPressesOfTheUpload();
    // Adds the lines not yet in the log and paints them now.
    void ShowPendingLines();

    std::unique_ptr<Ui::TFMain> ui;
    // One upload at a time; a close asked for during an upload waits for its end.
    UploadGuard guard;
    // Lines of the running upload that wait for its next wait on the receiver.
    QStringList pendingLines;
};

// The one main window, from the start of its creation to the end of the run.
extern TFMain* FMain;
