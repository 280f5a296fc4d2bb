// The program itself, ended by SIGTERM, SIGHUP or SIGINT: it ends as on a close of its window,
// with exit code 0, and releases the serial port. COM3 is a pseudo-terminal whose other end the
// test holds, as a network bridge would: the exclusive mark that the program sets would stay on
// it for every other program if the program did not take it off.

#include "temp_ports.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QtTest>

#include <cstdlib>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000; // upper bounds, not delays

// Whether the process has a handler of its own for sig (its SigCgt mask in /proc).
bool Catches(qint64 pid, int sig) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
    }
    return false;
}

// What another program finds when it opens the line as the serial layer does.
struct LineState {
    bool opened = false;
    bool locked = false;    // another process holds its lock on the line
    bool exclusive = false; // the exclusive mark (TIOCEXCL) is set
};

LineState Probe(const std::string& path) {
    LineState state;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return state; // EBUSY here is the mark, for anyone but root
    state.opened = true;
    state.locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    int mark = 0;
    state.exclusive = ioctl(fd, TIOCGEXCL, &mark) == 0 && mark != 0;
    close(fd);
    return state;
}

// Runs xdotool with args; true when it succeeded.
bool XDoTool(const QStringList& args) {
    QProcess tool;
    tool.start("xdotool", args);
    return tool.waitForFinished(kWaitMs) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

} // namespace

class TestSignalEnd : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempPortsDir> ports;
    int master = -1;
    std::string slave;

private slots:
    void initTestCase() {
        ports = std::make_unique<TempPortsDir>();
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0);
        QCOMPARE(grantpt(master), 0);
        QCOMPARE(unlockpt(master), 0);
        slave = ptsname(master);
        ports->Link("COM3", slave);
    }
    void init() {
        // Whatever a failed case left on the line.
        const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ioctl(fd, TIOCNXCL);
            close(fd);
        }
    }
    void cleanupTestCase() {
        close(master);
        ports.reset();
    }

    void endsAsOnAClose_data() {
        QTest::addColumn<int>("sig");
        // After "Upgrade Software": the window that is up when the signal comes, none when the
        // button is not pressed.
        QTest::addColumn<QString>("shown");
        for (const auto& [name, sig] : {std::pair{"SIGTERM", SIGTERM}, std::pair{"SIGHUP", SIGHUP},
                                        std::pair{"SIGINT", SIGINT}}) {
            QTest::addRow("%s, idle", name) << sig << QString();
            QTest::addRow("%s, port open, open dialog up", name) << sig << "Load";
        }
        // The box of a port that cannot be opened; "Port Error." follows it, and it must not wait
        // for the user either.
        QTest::addRow("SIGTERM, error box up") << SIGTERM << "Error";
    }
    void endsAsOnAClose() {
        QFETCH(int, sig);
        QFETCH(QString, shown);
        if (!shown.isEmpty() && QGuiApplication::platformName() != "xcb")
            QSKIP("pressing the program's button needs an X server");
        const bool portOpens = shown != QLatin1String("Error");
        if (!portOpens)
            ports->Link("COM3", ports->Root() + "/no-such-device");
        const auto relink = qScopeGuard([&] { ports->Link("COM3", slave); });

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(BRISKO_PROGRAM_PATH, {});
        QVERIFY(program.waitForStarted(kWaitMs));
        // Once the program handles the signal, the test can send it. (A program that never
        // does is killed by it below, which the test reports.)
        static_cast<void>(
            QTest::qWaitFor([&] { return Catches(program.processId(), sig); }, kWaitMs));

        if (!shown.isEmpty()) {
            QProcess search;
            search.start("xdotool",
                         {"search", "--sync", "--onlyvisible", "--name", "^Brisko K71 0\\.2$"});
            QVERIFY(search.waitForFinished(kWaitMs));
            const QString mainWindow = QString::fromLatin1(search.readAll()).split('\n').first();
            QVERIFY(!mainWindow.isEmpty());
            QVERIFY(XDoTool({"mousemove", "--window", mainWindow, "50", "40", "click", "1"}));
            QVERIFY(XDoTool({"search", "--sync", "--onlyvisible", "--name", '^' + shown + '$'}));
            // The port opens before the dialog asks for the image.
            const LineState held = Probe(slave);
            QCOMPARE(!held.opened || held.locked, portOpens);
        }

        QCOMPARE(kill(static_cast<pid_t>(program.processId()), sig), 0);
        QVERIFY(program.waitForFinished(kWaitMs));
        const LineState after = Probe(slave);
        QVERIFY(after.opened);
        QVERIFY(!after.locked);
        QVERIFY(!after.exclusive);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_MAIN(TestSignalEnd)
#include "signal_end_test.moc"
