// The file-open dialog of the main window: its settings on every showing, the filter in Qt's
// syntax, and the chosen path handed back as the file system names it.

#include "Main.h"
#include "file_open_dialog.h"
#include "upload_host.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <memory>

class TestOpenDialog : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFMain> window;
    QTemporaryDir directory;
    QTemporaryDir configHome; // the user's configuration directory during the tests
    QString startDirectory;

    // Everything in the configuration directory, hidden files included.
    QStringList ConfigEntries() const {
        return QDir(configHome.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    static OpenDialog UploadSettings() {
        OpenDialog settings;
        settings.Filter = "File(*.bin)|*.bin";
        settings.Title = "Load";
        settings.FileName = "rom_S.bin";
        return settings;
    }

private slots:
    void initTestCase() {
        QVERIFY(directory.isValid());
        QVERIFY(configHome.isValid());
        // Before anything in this process asks Qt for its settings.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
        startDirectory = QDir::currentPath();
        // The dialog opens in the working directory: an empty one lists nothing of ours.
        QVERIFY(QDir::setCurrent(directory.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(startDirectory); }
    void init() { window = std::make_unique<TFMain>(); }
    void cleanup() {
        FileOpenDialog::SetRunner({});
        window.reset();
    }

    // Qt's file dialog would keep its history, last folder and view in QtProject.conf there and
    // take them up at its next showing. The program keeps nothing between runs.
    void nothingIsStoredOrReadBetweenRuns() {
        int showings = 0;
        QFileDialog::ViewMode viewMode = QFileDialog::List;
        QStringList selected;
        QStringList history;
        FileOpenDialog::SetRunner([&](QFileDialog& dialog) {
            ++showings;
            viewMode = dialog.viewMode();
            selected = dialog.selectedFiles();
            history = dialog.history();
            dialog.setViewMode(QFileDialog::List); // Qt's dialog starts in Detail
            dialog.setDirectory(directory.path());
            dialog.selectFile(directory.filePath("chosen.bin"));
            return true;
        });
        OpenDialog settings = UploadSettings();
        QVERIFY(window->Execute(settings));
        QCOMPARE(ConfigEntries(), QStringList{});

        // What another program (or an older version of this one) left there is not read.
        const QString stored = configHome.filePath("QtProject.conf");
        const QByteArray storedText = "[FileDialog]\nhistory=file:///stored/history\nlastVisited=" +
                                      QUrl::fromLocalFile(configHome.path()).toEncoded() +
                                      "\nviewMode=List\n";
        {
            QFile file(stored);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(storedText);
        }
        settings = UploadSettings();
        QVERIFY(window->Execute(settings));
        QCOMPARE(showings, 2);
        QCOMPARE(viewMode, QFileDialog::Detail);
        QCOMPARE(selected, QStringList{QDir::current().absoluteFilePath("rom_S.bin")});
        QVERIFY(!history.contains("/stored/history"));
        QCOMPARE(ConfigEntries(), QStringList{"QtProject.conf"});
        QFile file(stored);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), storedText);
    }

    void nameFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("qtFilters");
        QTest::newRow("the image filter")
            << "File(*.bin)|*.bin" << QStringList{"File(*.bin) (*.bin)"};
        QTest::newRow("two pairs, two patterns")
            << "Images|*.bin;*.img|All|*.*" << QStringList{"Images (*.bin *.img)", "All (*.*)"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("description without pattern") << "File" << QStringList{};
    }
    void nameFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, qtFilters);
        QCOMPARE(QtNameFilters(filter.toStdString()), qtFilters);
    }

    void settingsOfEveryShowing() {
        int showings = 0;
        FileOpenDialog::SetRunner([&](QFileDialog& dialog) {
            ++showings;
            [&] {
                QCOMPARE(dialog.windowTitle(), QStringLiteral("Load"));
                QCOMPARE(dialog.nameFilters(), QStringList{"File(*.bin) (*.bin)"});
                // The first filter is selected, shown as its description was written.
                QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("File(*.bin)"));
                QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
                QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
                QVERIFY(dialog.testOption(QFileDialog::HideNameFilterDetails));
                QCOMPARE(dialog.parentWidget(), window.get());
                QCOMPARE(dialog.selectedFiles(),
                         QStringList{QDir::current().absoluteFilePath("rom_S.bin")});
            }();
            dialog.selectFile(directory.filePath("chosen-before.bin"));
            return true;
        });
        for (int run = 0; run < 2; ++run) {
            OpenDialog settings = UploadSettings();
            QVERIFY(window->Execute(settings));
            QCOMPARE(QString::fromStdString(settings.FileName),
                     directory.filePath("chosen-before.bin"));
        }
        QCOMPARE(showings, 2);
    }

    void cancelLeavesTheName() {
        FileOpenDialog::SetRunner([](QFileDialog&) { return false; });
        OpenDialog settings = UploadSettings();
        QVERIFY(!window->Execute(settings));
        QCOMPARE(settings.FileName, std::string("rom_S.bin"));
    }

    void pathIsHandedBackAsTheFileSystemNamesIt() {
        const QString path = directory.filePath(QStringLiteral("\u00e9t\u00e9 \u65e5.bin"));
        FileOpenDialog::SetRunner([&](QFileDialog& dialog) {
            dialog.selectFile(path);
            return true;
        });
        OpenDialog settings = UploadSettings();
        QVERIFY(window->Execute(settings));
        QCOMPARE(QByteArray::fromStdString(settings.FileName), QFile::encodeName(path));
    }

    void typedNameThatDoesNotExistIsAccepted() {
        bool proposed = false;
        FileOpenDialog::SetRunner([&](QFileDialog& dialog) {
            // The platform's own dialog cannot be driven from here; Qt's can.
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            QTimer::singleShot(0, &dialog, [&] {
                auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
                QVERIFY(name != nullptr);
                proposed = name->text() == QLatin1String("rom_S.bin");
                name->setText("no-such-image.bin");
                QTest::keyClick(name, Qt::Key_Return);
            });
            return dialog.exec() == QDialog::Accepted;
        });
        OpenDialog settings = UploadSettings();
        QVERIFY(window->Execute(settings));
        QVERIFY(proposed);
        QCOMPARE(QString::fromStdString(settings.FileName),
                 QDir::current().absoluteFilePath("no-such-image.bin"));
        QVERIFY(!QFile::exists(QString::fromStdString(settings.FileName)));
    }
};

QTEST_MAIN(TestOpenDialog)
#include "open_dialog_test.moc"
