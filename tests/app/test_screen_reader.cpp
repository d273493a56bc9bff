// The real program as a blind guitarist meets it: Debian's Orca reads it over AT-SPI (a private session,
// tests/support/orca_session.sh) while it records a tone piped in real time. One table of steps, each an action
// (keys typed on the test's Xvfb, or another tone) and what Orca must say, or keep from saying, afterwards.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include "TestAudio.h"
#include "XvfbHarness.h"

namespace {

const QString Title = QStringLiteral("Tuner @ Zemtar");

// The session for the lifetime of the object; its NAME=value lines in `environment`.
struct OrcaSession {
    explicit OrcaSession(const QString& dir_) : dir(dir_) {
        QProcess start;
        start.start(QStringLiteral(ZT_ORCA_SESSION), {QStringLiteral("start"), dir, xvfb::Display()});
        started = start.waitForFinished(90000) && start.exitCode() == 0;
        problem = start.readAllStandardError().toStdString();
        for (const QByteArray& line : start.readAllStandardOutput().split('\n'))
            if (const auto eq = line.indexOf('='); eq > 0)
                environment.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    ~OrcaSession() { QProcess::execute(QStringLiteral(ZT_ORCA_SESSION), {QStringLiteral("stop"), dir}); }
    QString Log() const {
        QFile file(dir + QStringLiteral("/orca.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r')) : QString();
    }
    QStringList Speech() const {  // one entry per utterance, oldest first
        static const QRegularExpression said(QStringLiteral("SPEECH OUTPUT: '(.*)' ?\\{[^}]*\\}$"),
                                             QRegularExpression::MultilineOption);
        QStringList spoken;
        for (auto match = said.globalMatch(Log()); match.hasNext();) spoken.append(match.next().captured(1));
        return spoken;
    }
    QString dir;
    bool started = false;
    std::string problem;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

using Action = std::function<bool(test_audio::PipedTone&)>;
using Wanted = std::function<bool(const QString&)>;

Action Keys(std::vector<uint32_t> held, uint32_t key, int times = 1) {
    return [=](test_audio::PipedTone&) { return xvfb::PressKeys(held, key, times); };
}
Action Tone(double hz, double amplitude) {
    return [=](test_audio::PipedTone& tone) { return tone.Play(test_audio::MakeTone(hz, amplitude, 8.0)), true; };
}
Wanted Has(const char* text) {
    return [text](const QString& said) { return said.contains(QString::fromUtf8(text)); };
}
Wanted Is(const char* text) {
    return [text](const QString& said) { return said == QString::fromUtf8(text); };
}

struct Step {
    const char* what;
    Action action;
    Wanted said;      // an utterance Orca must say within withinMs; empty: none is waited for, and
    int withinMs;
    int atMost = -1;  // at most this many utterances come during withinMs
};

TEST(ScreenReader, OrcaSpeaksTheTitlesTheReadingsWithoutAKeyAndThePagesOfTheInformationWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // 330 Hz is 0.1 % above string 1 (329.63 Hz, selected at start): in tune; 320 Hz is 2.9 % below it.
    test_audio::PipedTone tone(dir.path().toStdString(), "tone", test_audio::MakeTone(330.0, 100.0, 8.0));
    ASSERT_TRUE(tone.Ready());
    OrcaSession orca(dir.filePath(QStringLiteral("orca")));
    ASSERT_TRUE(orca.started) << orca.problem;
    xvfb::Launch launch{ZT_PROGRAM, {}, ZT_SOURCE_DIR, orca.environment};
    launch.environment.insert(QStringLiteral("ALSA_CONFIG_PATH"), QString::fromStdString(tone.ConfigPath()));
    QProcess tuner;
    ASSERT_TRUE(xvfb::Start(tuner, launch));
    ASSERT_TRUE(xvfb::WaitForWindow(Title, 30000).has_value()) << "the window never appeared";

    using xvfb::keys::Insert, xvfb::keys::KeypadEnter, xvfb::keys::Tab;
    const Action none = [](test_audio::PipedTone&) { return true; };
    const Step steps[] = {
        {"the window gets the focus", [](test_audio::PipedTone&) { return xvfb::Focus(Title); },
         Has("Tuner @ Zemtar frame"), 10000},
        {"string 1's reading, without a key", none, Has("Настроена"), 5000},
        {"Orca's title command", Keys({Insert}, KeypadEnter), Is("Tuner @ Zemtar"), 3000},
        {"a steady tone for 10 s", none, {}, 10000, 2},
        {"the tone moves to 320 Hz", Tone(320.0, 100.0), Is("Ниже на 3 %"), 3500},
        {"louder, into the red zone", Tone(320.0, 124.0), Has("Слишком громко"), 3500},
        {"silence", Tone(320.0, 0.0), {}, 6000, 0},
        {"Orca's status bar command", Keys({Insert}, KeypadEnter, 2), Is("Нет звука statusbar."), 3000},
        {"Tab to the help button, Enter", [](test_audio::PipedTone& t) { return Keys({}, Tab)(t) &&
                                                                         Keys({}, xvfb::keys::Return)(t); },
         Has("Информация frame"), 5000},
        {"the information window's first page", none, Has("Как настраивать гитару page tab"), 3000},
        {"Right: the next page", Keys({}, xvfb::keys::Right), Has("Аккорд A page tab"), 3000},
        {"Tab into the page's text box", Keys({}, Tab), Has("Аккорд A read only text"), 3000},
        {"Orca's title command there", Keys({Insert}, KeypadEnter), Is("Информация"), 3000},
    };
    for (const Step& step : steps) {
        const auto from = orca.Speech().size();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(step.action(tone)) << step.what;
        const bool found = xvfb::WaitUntil([&] {
            const QStringList spoken = orca.Speech().mid(from);
            return step.said && std::any_of(spoken.begin(), spoken.end(), step.said);
        }, step.withinMs);
        const QStringList spoken = orca.Speech().mid(from);
        const std::string heard = spoken.join(QLatin1Char('\n')).toStdString();
        if (step.said) {
            EXPECT_TRUE(found) << step.what << ": not said within " << step.withinMs << " ms; Orca said\n" << heard;
            std::printf("%s: said after %lld ms\n", step.what, static_cast<long long>(clock.elapsed()));
        } else {
            EXPECT_LE(spoken.size(), step.atMost) << step.what << ": Orca said\n" << heard;
        }
    }
    // The page tabs' states as Orca received them: the new page selected, the page before it no longer.
    for (const auto& [tab, selected] : {std::pair{"Аккорд A", 1}, std::pair{"Как настраивать гитару", 0}}) {
        EXPECT_TRUE(orca.Log().contains(QRegularExpression(
            QStringLiteral("object:state-changed:selected for \\[page tab \\| %1\\][^\\n]*\\(%2, ")
                .arg(QString::fromUtf8(tab)).arg(selected)))) << tab;
    }
    ASSERT_TRUE(xvfb::RequestClose(Title));
    EXPECT_TRUE(tuner.waitForFinished(5000));
}

}  // namespace
