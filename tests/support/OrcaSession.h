// A screen reader of the test's own: Debian's Orca in a private D-Bus session (its own bus, on which the
// accessibility bus of at-spi2-core is started when asked for), with its own home, runtime, configuration,
// data and cache folders, so no user setting is read or touched. Orca speaks through a speech-dispatcher
// that it starts itself, set up here with the dummy output module and libao's null driver: speech is on, no
// sound card is needed, and Orca logs each utterance ("SPEECH OUTPUT: '...'") in its debug log, which
// `script` writes out line by line. Target orca_session; run the programs it should read with Environment().
// Orca refuses to start while another Orca of the same user runs: give its tests a CTest RESOURCE_LOCK.
// Call everything from the test thread; start any thread of the test (a PipedTone) before the session.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace orca_session {

class Session {
public:
    // Starts the bus and Orca on the X display `display` with everything in `dir` (an empty folder of the
    // test's), and waits up to 60 s for Orca's first utterance ("Screen reader on").
    Session(const QString& dir, const QString& display);
    // Stops Orca (SIGTERM, then SIGKILL after 5 s), its speech-dispatcher and the bus.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // True when Orca has spoken its first words; Problem() says what went wrong otherwise.
    bool Started() const { return started_; }
    QString Problem() const { return problem_; }

    // `base` with the private bus and folders, for a program Orca should read.
    QProcessEnvironment Environment(QProcessEnvironment base) const;

    // What Orca has spoken so far, one utterance per entry, oldest first.
    QStringList Speech() const;
    // Orca's whole debug log so far (events and the states of their objects, utterances).
    QString Log() const;
    // Waits up to timeoutMs for an utterance after the first `from` ones for which `wanted` is true and returns
    // its index, or -1. Qt's events are processed meanwhile.
    int WaitForSpeech(int from, const std::function<bool(const QString&)>& wanted, int timeoutMs) const;

private:
    QString dir_;
    QProcessEnvironment environment_;
    QProcess bus_;
    QProcess orca_;  // `script` running Orca
    bool started_ = false;
    QString problem_;
};

}  // namespace orca_session
