#include "file_open_dialog.h"

#include "no_stored_settings.h"

#include <QFile>
#include <QFileDialog>

namespace {

FileOpenDialog::Runner& CurrentRunner() {
    static FileOpenDialog::Runner runner;
    return runner;
}

} // namespace

FileOpenDialog::FileOpenDialog(QWidget* window) : QObject(window), window(window) {}

void FileOpenDialog::SetRunner(Runner runner) {
    CurrentRunner() = std::move(runner);
}

bool FileOpenDialog::Execute() {
    // Qt's dialog reads its stored state when it is made and writes it when it goes.
    static const bool storesNothing = (StoreNoSettings(), true);
    (void)storesNothing;
    // A new dialog for every showing: nothing of the last one is proposed again.
    QFileDialog dialog(window, QString::fromLocal8Bit(Title.c_str()));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // a typed name that does not exist is accepted
    // The filter box shows the descriptions as they were written, without Qt's pattern part.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(QtNameFilters(Filter));
    dialog.selectFile(QFile::decodeName(FileName.c_str()));

    const bool accepted = CurrentRunner() ? CurrentRunner()(dialog) : dialog.exec() != 0;
    if (!accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    FileName = QFile::encodeName(chosen.first()).toStdString();
    return true;
}

QStringList QtNameFilters(const std::string& filter) {
    const QStringList fields = QString::fromLocal8Bit(filter.c_str()).split(QLatin1Char('|'));
    QStringList filters;
    // A description left without its pattern at the end is dropped.
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        const QString patterns = fields.at(i + 1).split(QLatin1Char(';')).join(QLatin1Char(' '));
        filters.append(fields.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}
