// The real program as a blind guitarist meets it: Debian's Orca reads it over AT-SPI (a private session,
// tests/support/orca_session.sh) while it records a tone piped in real time. One table of steps, each an action
// (keys typed on the test's Xvfb, or another tone) and what Orca must say, or keep from saying, afterwards.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include "TestAudio.h"
#include "XvfbHarness.h"

namespace {

const QString Title = QStringLiteral("Tuner @ Zemtar");

struct StopOrca {  // ends the session in `dir` however the test ends; after a failure its folder stays, with Orca's log
    QTemporaryDir& folder;
    QString dir = folder.filePath(QStringLiteral("orca"));
    ~StopOrca() {
        QProcess::execute(QStringLiteral(ZT_ORCA_SESSION), {QStringLiteral("stop"), dir});
        folder.setAutoRemove(!testing::Test::HasFailure());
        if (testing::Test::HasFailure()) std::fprintf(stderr, "Orca's log: %s/orca.log\n", qPrintable(dir));
    }
};

// Orca's debug log (the events it got, with their objects' states); what it said in it, oldest first.
QString OrcaLog(const QString& dir) {
    QFile file(dir + QStringLiteral("/orca.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r')) : QString();
}
QStringList Speech(const QString& dir) {
    static const QRegularExpression said(QStringLiteral("SPEECH OUTPUT: '(.*)' ?\\{[^}]*\\}$"),
                                         QRegularExpression::MultilineOption);
    QStringList spoken;
    for (auto match = said.globalMatch(OrcaLog(dir)); match.hasNext();) spoken.append(match.next().captured(1));
    return spoken;
}

// How many key presses and releases Orca has handled (and answered to the program that asked it about them).
qsizetype KeysAnswered(const QString& dir) { return OrcaLog(dir).count(QStringLiteral("^^^^^ PROCESS ATSPI_KEY")); }

// Waits (10 s at most) until Orca has done what it was given: its log, where it notes every step, stays still 0.3 s.
bool WaitForOrcaIdle(const QString& dir) {
    qint64 size = -1;
    QElapsedTimer still;
    return xvfb::WaitUntil([&] {
        const qint64 now = QFileInfo(dir + QStringLiteral("/orca.log")).size();
        if (now != size) size = now, still.start();
        return still.elapsed() >= 300;
    }, 10000);
}

using Action = std::function<bool()>;

// xdotool commands on the test's Xvfb (the test process's DISPLAY): keys typed through XTest reach the focused
// window and Orca as a keyboard's do; "windowfocus" gives a window the focus, as a window manager does. Qt 6.4 asks
// the screen reader about every key and waits 0.1 s for each answer; when one is late it hands all the keys still
// waiting to the window, and the answers still to come then go to the keys typed next (a Tab lost, a keypad Enter
// meant for Orca pressing "Закрыть"). So keys are typed only while Orca is idle, and the action ends once Orca has
// answered the keyEvents presses and releases typed.
Action Xdotool(const QString& orcaDir, const char* commands, int keyEvents) {
    return [=] {
        const qsizetype answered = KeysAnswered(orcaDir);
        return WaitForOrcaIdle(orcaDir) &&
               QProcess::execute(QStringLiteral("xdotool"), QString::fromUtf8(commands).split(' ')) == 0 &&
               xvfb::WaitUntil([&] { return KeysAnswered(orcaDir) >= answered + keyEvents; }, 10000);
    };
}

struct Step {  // after `action`, Orca says `said` within withinMs; or with no `said`, at most atMost things
    const char* what;
    Action action;
    const char* said;
    int withinMs, atMost = -1;
};

TEST(ScreenReader, OrcaSpeaksTheTitlesTheReadingsWithoutAKeyAndThePagesOfTheInformationWindow) {
    QTemporaryDir dir;
    // 330 Hz is 0.1 % above string 1 (329.63 Hz, selected at start): in tune; 320 Hz is 2.9 % below it.
    test_audio::PipedTone tone(dir.path().toStdString(), "tone", test_audio::MakeTone(330.0, 100.0, 8.0));
    ASSERT_TRUE(tone.Ready());
    const StopOrca orca{dir};
    QProcess session;  // the script gives up after 30 s
    session.start(QStringLiteral(ZT_ORCA_SESSION), {QStringLiteral("start"), orca.dir, xvfb::Display()});
    ASSERT_TRUE(session.waitForFinished(40000) && session.exitCode() == 0) << session.readAllStandardError().data();
    xvfb::Launch launch{ZT_PROGRAM, {}, ZT_SOURCE_DIR};
    for (const QByteArray& line : session.readAllStandardOutput().split('\n'))  // NAME=value
        if (const auto eq = line.indexOf('='); eq > 0) launch.environment.insert(line.left(eq), line.mid(eq + 1));
    launch.environment.insert(QStringLiteral("ALSA_CONFIG_PATH"), QString::fromStdString(tone.ConfigPath()));
    QProcess tuner;
    ASSERT_TRUE(xvfb::Start(tuner, launch));
    ASSERT_TRUE(xvfb::WaitForWindow(Title, 30000).has_value()) << "the window never appeared";

    const Action none = [] { return true; };
    const auto play = [&](double hz, double amplitude) -> Action {
        return [&tone, hz, amplitude] { return tone.Feeder().Replace(test_audio::MakeTone(hz, amplitude, 8.0)), true; };
    };
    const auto keys = [&](const char* commands, int keyEvents) { return Xdotool(orca.dir, commands, keyEvents); };
    // Orca's laptop layout (tests/support/orca_session.sh): Caps Lock + / is the title command.
    const Action title = keys("keydown Caps_Lock key slash keyup Caps_Lock", 4);
    // The title command twice, the second time once Orca has read the title (within its double-press time).
    const Action statusBar = [&] {
        return keys("keydown Caps_Lock key slash", 3)() && keys("key slash keyup Caps_Lock", 3)();
    };
    const Step steps[] = {
        {"the window gets the focus", keys("search --name ^Tuner.@.Zemtar$ windowfocus", 0), "Tuner @ Zemtar frame",
         10000},
        {"string 1's reading, without a key", none, "Настроена", 5000},
        {"Orca's title command", title, "Tuner @ Zemtar", 3000},
        {"a steady tone for 10 s", none, nullptr, 10000, 2},
        {"the tone moves to 320 Hz", play(320.0, 100.0), "Ниже на 3 %", 3500},
        {"louder, into the red zone", play(320.0, 124.0), "Слишком громко", 3500},
        {"silence", play(320.0, 0.0), nullptr, 6000, 0},
        {"Orca's status bar command (the title command twice)", statusBar, "Нет звука statusbar", 3000},
        {"Tab to the help button", keys("key Tab", 2), "Справка push button", 3000},
        {"Enter: the information window on its first page", keys("key Return", 2), "Как настраивать гитару page tab",
         5000},
        {"Right: the next page", keys("key Right", 2), "Аккорд A page tab", 3000},
        {"Tab into the page's text box", keys("key Tab", 2), "Аккорд A read only text", 3000},
        {"Orca's title command there", title, "Информация", 3000},
    };
    for (const Step& step : steps) {
        const auto from = Speech(orca.dir).size();
        ASSERT_TRUE(step.action()) << step.what;
        const bool found = xvfb::WaitUntil([&] {
            return step.said && !Speech(orca.dir).mid(from).filter(QString::fromUtf8(step.said)).isEmpty();
        }, step.withinMs);
        const QStringList spoken = Speech(orca.dir).mid(from);
        const std::string heard = spoken.join('\n').toStdString();
        if (step.said) EXPECT_TRUE(found) << step.what << ": not said in time; Orca said\n" << heard;
        else EXPECT_LE(spoken.size(), step.atMost) << step.what << ": Orca said\n" << heard;
    }
    // The page tabs' states as Orca received them: the new page selected, the page before it no longer.
    for (const auto& [tab, selected] : {std::pair{"Аккорд A", 1}, std::pair{"Как настраивать гитару", 0}})
        EXPECT_TRUE(OrcaLog(orca.dir).contains(QRegularExpression(
            QStringLiteral("changed:selected for \\[page tab \\| %1\\][^\\n]*\\(%2, ").arg(tab).arg(selected))))
            << tab;
    ASSERT_TRUE(xvfb::RequestClose(Title));
    EXPECT_TRUE(tuner.waitForFinished(5000));
}

}  // namespace
