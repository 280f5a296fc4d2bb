// The windows on a system without DejaVu Sans Condensed, the face that they were laid out
// with: fontconfig here knows one font only, DejaVu Sans, which is wider. Every text must still
// fit its control.

#include "Main.h"
#include "Settings.h"
#include "radio_group.h"
#include "text_fit.h"
#include "window_font.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// From fonts-dejavu-core; fonts-dejavu-extra brings the condensed face.
constexpr const char* kOnlyFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A fontconfig set-up with kOnlyFont alone, in a fresh directory under dir; returns its file.
std::filesystem::path OneFontConfig(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "fonts");
    std::filesystem::create_symlink(kOnlyFont, dir / "fonts" / "DejaVuSans.ttf");
    const std::filesystem::path file = dir / "fonts.conf";
    std::ofstream(file) << "<?xml version=\"1.0\"?>\n"
                           "<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                           "<fontconfig>\n"
                           "  <dir>"
                        << (dir / "fonts").string() << "</dir>\n  <cachedir>"
                        << (dir / "cache").string() << "</cachedir>\n</fontconfig>\n";
    return file;
}

} // namespace

class TestFontFallback : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFMain> window;
    std::unique_ptr<TFSettings> settings;

private slots:
    void init() {
        window = std::make_unique<TFMain>();
        settings = std::make_unique<TFSettings>();
        window->show();
        settings->show(); // lays out the port group
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(QTest::qWaitForWindowExposed(settings.get()));
    }
    void cleanup() {
        settings.reset();
        window.reset();
    }

    void theCondensedFaceIsMissing() {
        QVERIFY(QFontInfo(WindowFont()).family() != QLatin1String("DejaVu Sans Condensed"));
    }

    void everyTextFits() {
        for (QPushButton* button : {window->btnSet, window->btnSend, settings->btnOK})
            QVERIFY2(FitsPushButton(*button), qPrintable(button->text()));
        QVERIFY(FitsLabel(*window->Label1));
        QVERIFY(window->Label1->geometry().bottom() < window->Log->geometry().top());
        for (int i = 0; i < 4; ++i)
            QVERIFY(FitsRadioButton(*settings->rComm->button(i)));
        const QFontMetrics metrics(settings->rComm->font());
        QVERIFY(metrics.horizontalAdvance(settings->rComm->title()) <
                settings->rComm->width() - 16);
    }

    void logStillShowsTwoLines() {
        const QFontMetrics metrics(window->Log->font());
        QVERIFY(2 * metrics.lineSpacing() <= window->Log->viewport()->height());
    }
};

int main(int argc, char* argv[]) {
    if (!std::filesystem::exists(kOnlyFont)) {
        std::printf("SKIP: %s is not installed\n", kOnlyFont);
        return 0;
    }
    char pattern[] = "/tmp/brisko-k71-fonts-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const std::filesystem::path dir = pattern;
    setenv("FONTCONFIG_FILE", OneFontConfig(dir).c_str(), 1);
    int status = 0;
    {
        QApplication application(argc, argv);
        TestFontFallback test;
        status = QTest::qExec(&test, argc, argv);
    }
    std::filesystem::remove_all(dir);
    return status;
}

#include "font_fallback_test.moc"
