// The real program as a blind guitarist meets it: Debian's Orca reads it over AT-SPI (a private session,
// tests/support/OrcaSession.h) while it records a tone piped in real time. One table of steps, each an action
// (keys typed on the test's Xvfb, or another tone) and what Orca must say, or keep from saying, afterwards.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <optional>

#include "OrcaSession.h"
#include "TestAudio.h"
#include "XvfbHarness.h"

namespace {

const QString Title = QStringLiteral("Tuner @ Zemtar");

struct Context {
    test_audio::PipedTone& tone;
};

using Action = std::function<bool(Context&)>;
using Wanted = std::function<bool(const QString&)>;

Action Keys(std::vector<uint32_t> held, uint32_t key, int times = 1) {
    return [=](Context&) { return xvfb::PressKeys(held, key, times); };
}
Action Tone(double hz, double amplitude) {
    return [=](Context& c) {
        c.tone.Play(test_audio::MakeTone(hz, amplitude, 8.0));
        return true;
    };
}
Wanted Is(const char* text) {
    return [text](const QString& said) { return said == QString::fromUtf8(text); };
}
Wanted Has(const char* text) {
    return [text](const QString& said) { return said.contains(QString::fromUtf8(text)); };
}

struct Step {
    const char* what;
    Action action;
    Wanted said;      // an utterance Orca must say within withinMs; empty: none is waited for
    int withinMs;
    int atMost = -1;  // with no `said`: at most this many utterances during withinMs
};

TEST(ScreenReader, OrcaSpeaksTheTitlesTheReadingsWithoutAKeyAndThePagesOfTheInformationWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // 330 Hz is 0.1 % above string 1 (329.63 Hz, selected at start): in tune; 320 Hz is 2.9 % below it.
    test_audio::PipedTone tone(dir.path().toStdString(), "tone", test_audio::MakeTone(330.0, 100.0, 8.0));
    ASSERT_TRUE(tone.Ready());
    orca_session::Session orca(dir.filePath(QStringLiteral("orca")), xvfb::Display());
    ASSERT_TRUE(orca.Started()) << orca.Problem().toStdString();

    xvfb::Launch launch{ZT_PROGRAM, {}, ZT_SOURCE_DIR, orca.Environment(QProcessEnvironment::systemEnvironment())};
    launch.environment.insert(QStringLiteral("ALSA_CONFIG_PATH"), QString::fromStdString(tone.ConfigPath()));
    QProcess tuner;
    ASSERT_TRUE(xvfb::Start(tuner, launch));
    ASSERT_TRUE(xvfb::WaitForWindow(Title, 30000).has_value()) << "the window never appeared";

    const Action none = [](Context&) { return true; };
    const Step steps[] = {
        {"the window gets the focus, as a window manager gives it", [](Context&) { return xvfb::Focus(Title); },
         Has("Tuner @ Zemtar frame"), 10000},
        {"the reading of string 1, spoken without a key", none, Has("Настроена"), 5000},
        {"Orca's title command (Insert + keypad Enter)", Keys({xvfb::keys::Insert}, xvfb::keys::KeypadEnter),
         Is("Tuner @ Zemtar"), 3000},
        {"a steady tone for 10 s", none, {}, 10000, 2},
        {"the tone moves to 320 Hz", Tone(320.0, 100.0), Is("Ниже на 3 %"), 3500},
        {"the same tone, loud enough for the red zone", Tone(320.0, 124.0), Has("Слишком громко"), 3500},
        {"silence", Tone(320.0, 0.0), {}, 6000, 0},
        {"Orca's status bar command (Insert + keypad Enter twice)",
         Keys({xvfb::keys::Insert}, xvfb::keys::KeypadEnter, 2), Is("Нет звука statusbar."), 3000},
        {"Tab to the help button and Enter", [](Context& c) {
             return Keys({}, xvfb::keys::Tab)(c) && Keys({}, xvfb::keys::Return)(c);
         }, Has("Информация frame"), 5000},
        {"the information window opens on its first page", none, Has("Как настраивать гитару page tab"), 3000},
        {"Right: the next page", Keys({}, xvfb::keys::Right), Has("Аккорд A page tab"), 3000},
        {"Tab into the page's text box", Keys({}, xvfb::keys::Tab), Has("Аккорд A read only text"), 3000},
        {"Orca's title command there", Keys({xvfb::keys::Insert}, xvfb::keys::KeypadEnter), Is("Информация"), 3000},
    };

    Context context{tone};
    for (const Step& step : steps) {
        const int from = static_cast<int>(orca.Speech().size());
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(step.action(context)) << step.what;
        if (step.said) {
            const int found = orca.WaitForSpeech(from, step.said, step.withinMs);
            EXPECT_GE(found, 0) << step.what << ": not said within " << step.withinMs << " ms; Orca said\n"
                                << orca.Speech().mid(from).join(QLatin1Char('\n')).toStdString();
            if (found >= 0) std::printf("%s: %lld ms\n", step.what, static_cast<long long>(clock.elapsed()));
        } else {
            orca.WaitForSpeech(from, [](const QString&) { return false; }, step.withinMs);
            const QStringList said = orca.Speech().mid(from);
            EXPECT_LE(said.size(), step.atMost) << step.what << ": Orca said\n"
                                                << said.join(QLatin1Char('\n')).toStdString();
        }
    }

    // What Orca was told of the page tabs' states: the new page selected, the page before it no longer.
    const QString log = orca.Log();
    const auto selected = [&](const char* tab, int detail) {
        return log.contains(QRegularExpression(
            QStringLiteral("object:state-changed:selected for \\[page tab \\| %1\\][^\\n]*\\(%2, ")
                .arg(QRegularExpression::escape(QString::fromUtf8(tab)))
                .arg(detail)));
    };
    EXPECT_TRUE(selected("Аккорд A", 1));
    EXPECT_TRUE(selected("Как настраивать гитару", 0));

    ASSERT_TRUE(xvfb::RequestClose(Title));
    EXPECT_TRUE(tuner.waitForFinished(5000));
}

}  // namespace
