// The main window's file-open dialog: a filter, a title and a proposed file name are set before
// each showing; Execute shows it and, after acceptance, FileName holds the chosen path.
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <string>

class QFileDialog;
class QWidget;

class FileOpenDialog : public QObject {
public:
    // The dialog is shown over window, which owns it.
    explicit FileOpenDialog(QWidget* window);

    // Pairs of a description and a pattern, each separated from the next by "|"; several
    // patterns of one pair are separated by ";".
    std::string Filter;
    std::string Title;
    // The proposed name before Execute; the chosen full path after acceptance, as 8-bit text
    // as the file system names it.
    std::string FileName;

    // Shows the dialog modally. True when the user accepted a file, which need not exist.
    bool Execute();

    // Shows a prepared dialog and tells whether it was accepted. Normally the dialog's own
    // exec(); tests answer the dialog here instead. An empty function restores exec().
    using Runner = std::function<bool(QFileDialog& dialog)>;
    static void SetRunner(Runner runner);

private:
    QWidget* window;
};

// Turns "description|pattern|..." into Qt's name filters, "description (pattern ...)".
QStringList QtNameFilters(const std::string& filter);
