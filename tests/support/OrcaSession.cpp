#include "OrcaSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/types.h>

namespace orca_session {

namespace {

bool WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

QString ProcFile(qint64 pid, const QString& name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// True while the process runs (a zombie that nobody reaps has ended).
bool Running(qint64 pid) {
    const QString stat = ProcFile(pid, QStringLiteral("stat"));
    const int close = static_cast<int>(stat.lastIndexOf(QLatin1Char(')')));
    return close > 0 && stat.mid(close + 2, 1) != QLatin1String("Z");
}

// Sends SIGTERM to the process if its command line names `program`, waits up to 5 s, then sends SIGKILL.
void End(qint64 pid, const QString& program) {
    if (pid <= 0 || !Running(pid) || !ProcFile(pid, QStringLiteral("cmdline")).contains(program)) return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    QElapsedTimer clock;
    clock.start();
    while (Running(pid) && clock.elapsed() < 5000) QThread::msleep(50);
    if (Running(pid)) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace

Session::Session(const QString& dir, const QString& display) : dir_(dir) {
    const QDir root(dir);
    for (const char* folder : {"home", "run", "config/speech-dispatcher", "data", "cache", "prefs"})
        root.mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(root.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Speech on, into nothing: the dummy module "speaks" through libao's null driver.
    if (!WriteText(root.filePath("config/speech-dispatcher/speechd.conf"),
                   "AudioOutputMethod \"libao\"\nAddModule \"dummy\" \"sd_dummy\" \"\"\nDefaultModule \"dummy\"\n") ||
        !WriteText(root.filePath("home/.libao"), "default_driver=null\n")) {
        problem_ = QStringLiteral("cannot write the speech settings in ") + dir;
        return;
    }
    environment_ = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "SPEECHD_ADDRESS", "SESSION_MANAGER", "LC_ALL", "LC_MESSAGES"})
        environment_.remove(QString::fromLatin1(name));
    environment_.insert(QStringLiteral("DISPLAY"), display);
    // Orca's own words (role names, messages) in English whatever the machine's language.
    environment_.remove(QStringLiteral("LANGUAGE"));
    environment_.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment_.insert(QStringLiteral("HOME"), root.filePath("home"));
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath("run"));
    environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath("config"));
    environment_.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath("data"));
    environment_.insert(QStringLiteral("XDG_CACHE_HOME"), root.filePath("cache"));

    bus_.setProcessEnvironment(environment_);
    bus_.setStandardErrorFile(QProcess::nullDevice());
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                QStringLiteral("--print-address=1")});
    QElapsedTimer clock;
    clock.start();
    while (!bus_.canReadLine() && clock.elapsed() < 10000 && bus_.state() != QProcess::NotRunning)
        bus_.waitForReadyRead(100);
    const QString address = QString::fromLocal8Bit(bus_.readLine()).trimmed();
    if (address.isEmpty()) {
        problem_ = QStringLiteral("dbus-daemon gave no address: ") + bus_.errorString();
        return;
    }
    environment_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    // Orca writes its debug log through a buffer unless the log is a terminal: `script` gives it one and
    // writes every line out at once.
    orca_.setProcessEnvironment(environment_);
    orca_.setStandardInputFile(QProcess::nullDevice());
    orca_.setStandardOutputFile(QProcess::nullDevice());
    orca_.setStandardErrorFile(QProcess::nullDevice());
    orca_.start(QStringLiteral("script"),
                {QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-c"),
                 QStringLiteral("exec orca --debug-file /dev/tty --user-prefs '%1'").arg(root.filePath("prefs")),
                 root.filePath("orca.log")});
    if (!orca_.waitForStarted(10000)) {
        problem_ = QStringLiteral("script (Orca) did not start: ") + orca_.errorString();
        return;
    }
    started_ = WaitForSpeech(0, [](const QString&) { return true; }, 60000) >= 0;
    if (!started_) problem_ = QStringLiteral("Orca said nothing within 60 s; its log:\n") + Log().right(3000);
}

Session::~Session() {
    if (orca_.state() != QProcess::NotRunning) {
        const QString children =
            ProcFile(orca_.processId(), QStringLiteral("task/%1/children").arg(orca_.processId()));
        for (const QString& child : children.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            End(child.toLongLong(), QStringLiteral("orca"));
        if (!orca_.waitForFinished(5000)) {
            orca_.kill();
            orca_.waitForFinished(2000);
        }
    }
    // Started by Orca and living on by itself: its pid file is in the private runtime folder.
    QFile pidFile(QDir(dir_).filePath(QStringLiteral("run/speech-dispatcher/pid/speech-dispatcher.pid")));
    if (pidFile.open(QIODevice::ReadOnly))
        End(QString::fromLocal8Bit(pidFile.readAll()).trimmed().toLongLong(), QStringLiteral("speech-dispatcher"));
    // The accessibility bus and the services the bus started end with it.
    if (bus_.state() != QProcess::NotRunning) {
        bus_.terminate();
        if (!bus_.waitForFinished(5000)) {
            bus_.kill();
            bus_.waitForFinished(2000);
        }
    }
}

QProcessEnvironment Session::Environment(QProcessEnvironment base) const {
    base.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    for (const char* name :
         {"DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        base.insert(QString::fromLatin1(name), environment_.value(QString::fromLatin1(name)));
    return base;
}

QString Session::Log() const {
    QFile file(QDir(dir_).filePath("orca.log"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r'));
}

QStringList Session::Speech() const {
    static const QRegularExpression utterance(QStringLiteral("SPEECH OUTPUT: '(.*)' ?\\{[^}]*\\}\\s*$"));
    QStringList spoken;
    for (const QString& line : Log().split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = utterance.match(line);
        if (match.hasMatch()) spoken.append(match.captured(1));
    }
    return spoken;
}

int Session::WaitForSpeech(int from, const std::function<bool(const QString&)>& wanted, int timeoutMs) const {
    QElapsedTimer clock;
    clock.start();
    do {
        const QStringList spoken = Speech();
        for (int i = from; i < spoken.size(); ++i)
            if (wanted(spoken[i])) return i;
        QCoreApplication::processEvents();
        QThread::msleep(100);
    } while (clock.elapsed() < timeoutMs);
    return -1;
}

}  // namespace orca_session
