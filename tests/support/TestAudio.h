// Sound for tests that run the real ALSA layer without a sound card: a raw tone file, an ALSA configuration whose
// "default" capture device serves a raw file, and a writer that feeds a named pipe in real time.
// Target test_audio (no ALSA dependency); the same functions as a command-line tool: zt_test_audio (README.md).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_audio {

constexpr int kRateHz = 11025;  // the tuner's rate: unsigned 8-bit mono, one byte per sample

// round(128 + amplitude * sin(2 pi frequencyHz n / rateHz)) for n = 0 .. bytes - 1, clamped to 0..255.
// amplitude in sample units (0 .. 127); bytes = round(seconds * rateHz).
std::vector<uint8_t> MakeTone(double frequencyHz, double amplitude, double seconds, int rateHz = kRateHz);

// Writes bytes to a file; false on any failure.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes a raw (headerless) unsigned 8-bit mono tone file, MakeTone's bytes.
bool WriteToneFile(const std::string& path, double frequencyHz, double amplitude, double seconds,
                   int rateHz = kRateHz);

// Writes a standalone ALSA configuration (select it with ALSA_CONFIG_PATH=<configPath>) in which "default" is a
// capture device that reads raw U8/11025/mono sound from `infile` (a regular file or a named pipe), through a plug
// to that format over ALSA's file plugin on an inline null device. Nothing else is defined, no card is needed.
// A regular file is served as fast as it is read (not in real time); past its end the reader's buffer is left
// unwritten, so read no more than the file holds. For real time use a named pipe fed by FeedPaced / PacedFeeder.
bool WriteFileCaptureConfig(const std::string& configPath, const std::string& infile);

// Writes a standalone ALSA configuration in which "default" names a card that does not exist: no device at all.
bool WriteMissingDeviceConfig(const std::string& configPath);

// Creates the named pipe `fifoPath` if it does not exist; false when that fails or the path is not a pipe.
bool MakeFifo(const std::string& fifoPath);

// Writes `bytes` into the named pipe at bytesPerSecond, in chunks of 1024 bytes (4 of the ALSA layer's reads,
// so reads stay whole), again and again when `loop`, until done or `stop` becomes true. It first waits for a
// reader to open the pipe, and waits again whenever the reader goes away (a device probed and closed), carrying
// on where it was. The pipe holds at most 4096 bytes, so the reader is never much ahead of real time.
// Before each chunk, `replace` may swap in other bytes, fed from their start. Returns false when the pipe cannot
// be opened.
bool FeedPaced(const std::string& fifoPath, std::vector<uint8_t> bytes, int bytesPerSecond, bool loop,
               const std::atomic<bool>& stop, const std::function<bool(std::vector<uint8_t>&)>& replace = {});

// FeedPaced on its own thread. The destructor stops it, also while it waits for a reader.
class PacedFeeder {
public:
    PacedFeeder(std::string fifoPath, std::vector<uint8_t> bytes, bool loop, int bytesPerSecond = kRateHz);
    ~PacedFeeder();
    PacedFeeder(const PacedFeeder&) = delete;
    PacedFeeder& operator=(const PacedFeeder&) = delete;
    // Feeds `bytes` from the next chunk on, in place of the bytes fed; any thread.
    void Replace(std::vector<uint8_t> bytes) { const std::lock_guard lock(mutex_); next_ = std::move(bytes); }

private:
    std::string fifoPath_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<uint8_t> next_;  // guarded by mutex_
    std::thread thread_;
};

// A tone served in real time as ALSA's "default" capture device: the named pipe `<dir>/<name>.pipe`, fed on
// its own thread by a PacedFeeder (looping), and the configuration `<dir>/<name>.conf` that reads it (select it
// with ALSA_CONFIG_PATH). Under ThreadSanitizer, make it before the process forks any program.
class PipedTone {
public:
    PipedTone(const std::string& dir, const std::string& name, std::vector<uint8_t> tone);
    bool Ready() const { return ready_; }
    const std::string& ConfigPath() const { return config_; }
    PacedFeeder& Feeder() { return *feeder_; }  // Replace plays another tone (looping); only when Ready()

private:
    std::string config_;
    bool ready_ = false;
    std::unique_ptr<PacedFeeder> feeder_;
};

// The private sound servers, each with the way ALSA's "default" reaches it.
enum class Server {
    PulseAudio,      // tests/support/pulse_server.sh, through ALSA's pulse plugin
    PipeWirePlugin,  // tests/support/pipewire_server.sh, through PipeWire's own ALSA plugin
    PipeWirePulse,   // the same, through the pulse plugin and pipewire-pulse (as on a Debian 12 desktop)
};

// A private sound server that speaks PulseAudio's protocol, for the lifetime of the object, in folder `dir`: a null
// sink at 11025 Hz mono whose monitor is the default source, or (PulseAudio only) with `pipeFifo` a pipe source
// reading unsigned 8-bit mono at 11025 Hz from that named pipe. Env() gives what a client needs (PULSE_SERVER and an
// ALSA_CONFIG_PATH whose "default" PCM is the server). The destructor stops the player and the server.
class PulseServer {
public:
    explicit PulseServer(std::string dir, std::string pipeFifo = {}, Server server = Server::PulseAudio);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool Running() const { return !env_.empty(); }
    // "NAME=value" lines for the client's environment.
    const std::vector<std::string>& Env() const { return env_; }
    std::string Value(const std::string& name) const;
    // Plays a raw unsigned 8-bit mono 11025 Hz file into the null sink, again and again, with pacat at the given
    // latency, until the next Play, the server's end or destruction. False when pacat cannot be started.
    bool Play(const std::string& rawFile, int latencyMs);
    // Sends `signal` to the daemon (SIGKILL, SIGTERM: the sound server going away) and waits for it to end.
    bool Kill(int signal);
    // Starts the server again in the same folder, as systemd restarts a crashed one; then see Running().
    void Restart();

private:
    std::string script_;
    std::string start_;  // the command that starts the server
    std::string dir_;
    std::vector<std::string> env_;
    int player_ = -1;  // pid of the looping player's shell
};

} // namespace test_audio
