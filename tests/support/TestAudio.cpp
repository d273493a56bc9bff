#include "TestAudio.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <numbers>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <utility>
#include <fstream>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_audio {

namespace {

constexpr std::size_t kChunkBytes = 1024;
constexpr int kPipeBytes = 4096;

bool WriteText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// Opens the pipe for writing without blocking forever: polls until a reader is there or stop is set.
int OpenWriter(const std::string& fifoPath, const std::atomic<bool>& stop)
{
    while (!stop) {
        const int fd = ::open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            // Blocking writes from here on; a small pipe keeps the reader close to real time.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            ::fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
            return fd;
        }
        if (errno != ENXIO)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

} // namespace

std::vector<uint8_t> MakeTone(double frequencyHz, double amplitude, double seconds, int rateHz)
{
    const auto count = static_cast<std::size_t>(std::llround(seconds * rateHz));
    std::vector<uint8_t> bytes(count);
    const double step = 2.0 * std::numbers::pi * frequencyHz / rateHz;
    for (std::size_t n = 0; n < count; ++n) {
        const double value = std::round(128.0 + amplitude * std::sin(step * static_cast<double>(n)));
        bytes[n] = static_cast<uint8_t>(std::fmin(255.0, std::fmax(0.0, value)));
    }
    return bytes;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool WriteToneFile(const std::string& path, double frequencyHz, double amplitude, double seconds, int rateHz)
{
    return WriteFile(path, MakeTone(frequencyHz, amplitude, seconds, rateHz));
}

bool WriteFileCaptureConfig(const std::string& configPath, const std::string& infile)
{
    return WriteText(configPath,
                     "# \"default\" records raw U8/11025/mono sound from a file (tests/support/TestAudio.h).\n"
                     "pcm.!default {\n"
                     "  type plug\n"
                     "  slave {\n"
                     "    pcm {\n"
                     "      type file\n"
                     "      slave.pcm { type null }\n"
                     "      file \"/dev/null\"\n"
                     "      infile \"" + infile + "\"\n"
                     "      format \"raw\"\n"
                     "    }\n"
                     "    format U8\n"
                     "    rate 11025\n"
                     "    channels 1\n"
                     "  }\n"
                     "}\n");
}

bool WriteMissingDeviceConfig(const std::string& configPath)
{
    return WriteText(configPath,
                     "# \"default\" names a card that does not exist (tests/support/TestAudio.h).\n"
                     "pcm.!default {\n"
                     "  type hw\n"
                     "  card 31\n"
                     "  device 0\n"
                     "}\n");
}

bool MakeFifo(const std::string& fifoPath)
{
    if (::mkfifo(fifoPath.c_str(), 0600) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::stat(fifoPath.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

bool FeedPaced(const std::string& fifoPath, std::vector<uint8_t> bytes, int bytesPerSecond, bool loop,
               const std::atomic<bool>& stop, const std::function<bool(std::vector<uint8_t>&)>& replace)
{
    // A reader that goes away must end in EPIPE here, not in the death of the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (bytes.empty() || bytesPerSecond <= 0)
        return false;
    int fd = OpenWriter(fifoPath, stop);
    if (fd < 0)
        return stop.load();
    using Clock = std::chrono::steady_clock;
    const auto chunkTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(kChunkBytes) / bytesPerSecond));
    auto due = Clock::now();
    std::size_t position = 0;
    while (!stop) {
        if (replace && replace(bytes))
            position = 0;
        if (position >= bytes.size()) {
            if (!loop)
                break;
            position = 0;
        }
        // Wait for room without blocking, so that stop is seen while the reader pauses.
        pollfd room{fd, POLLOUT, 0};
        if (::poll(&room, 1, 50) == 0)
            continue;
        const std::size_t length = std::min(kChunkBytes, bytes.size() - position);
        const ssize_t written = ::write(fd, bytes.data() + position, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            // The reader has gone (a probe that opened and closed the device): wait for the next one.
            ::close(fd);
            fd = OpenWriter(fifoPath, stop);
            if (fd < 0)
                return stop.load();
            due = Clock::now();
            continue;
        }
        position += static_cast<std::size_t>(written);
        // Never catch up in a burst: a reader that paused must not get a backlog.
        due = std::max(due + chunkTime, Clock::now());
        std::this_thread::sleep_until(due);
    }
    ::close(fd);
    return true;
}

PacedFeeder::PacedFeeder(std::string fifoPath, std::vector<uint8_t> bytes, bool loop, int bytesPerSecond)
    : fifoPath_(std::move(fifoPath))
{
    MakeFifo(fifoPath_);
    thread_ = std::thread([this, data = std::move(bytes), loop, bytesPerSecond] {
        FeedPaced(fifoPath_, data, bytesPerSecond, loop, stop_, [this](std::vector<uint8_t>& current) {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (next_.empty())
                return false;
            current = std::exchange(next_, {});
            return true;
        });
    });
}

PacedFeeder::~PacedFeeder()
{
    stop_ = true;
    thread_.join();
}

} // namespace test_audio

namespace test_audio {

PipedTone::PipedTone(const std::string& dir, const std::string& name, std::vector<uint8_t> tone)
    : config_(dir + "/" + name + ".conf")
{
    const std::string fifo = dir + "/" + name + ".pipe";
    ready_ = MakeFifo(fifo) && WriteFileCaptureConfig(config_, fifo);
    if (ready_)
        feeder_ = std::make_unique<PacedFeeder>(fifo, std::move(tone), /*loop=*/true);
}

namespace {

// Runs a command through the shell and returns what it printed; empty on failure.
std::string Capture(const std::string& command, bool* ok)
{
    std::string out;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *ok = false;
        return out;
    }
    char chunk[256];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        out.append(chunk, got);
    *ok = ::pclose(pipe) == 0;
    return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// True once `pid` has ended (also as a zombie that nobody reaps), within 2 s.
bool WaitForExit(pid_t pid)
{
    for (int i = 0; i < 400; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return true;
        const std::size_t paren = line.rfind(')');
        if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z')
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

PulseServer::PulseServer(std::string dir, std::string pipeFifo, Server server)
    : script_(ZT_PULSE_SERVER_SCRIPT), dir_(std::move(dir))
{
    if (server != Server::PulseAudio)
        script_.replace(script_.rfind("pulse_server.sh"), std::string::npos, "pipewire_server.sh");
    start_ = Quoted(script_) + " start " + Quoted(dir_) + (server == Server::PipeWirePlugin ? " plugin" : "");
    if (!pipeFifo.empty())
        start_ += " pipe " + Quoted(pipeFifo);
    Restart();
}

void PulseServer::Restart()
{
    bool ok = false;
    const std::string out = Capture(start_, &ok);
    env_.clear();
    if (!ok)
        return;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty())
            env_.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

PulseServer::~PulseServer()
{
    if (player_ > 0) {
        ::kill(-player_, SIGKILL);
        ::waitpid(player_, nullptr, 0);
    }
    bool ok = false;
    Capture(Quoted(script_) + " stop " + Quoted(dir_), &ok);
}

std::string PulseServer::Value(const std::string& name) const
{
    for (const std::string& line : env_)
        if (line.rfind(name + "=", 0) == 0)
            return line.substr(name.size() + 1);
    return {};
}

bool PulseServer::Play(const std::string& rawFile, int latencyMs)
{
    if (player_ > 0) {
        ::kill(-player_, SIGKILL);
        ::waitpid(player_, nullptr, 0);
    }
    const std::string server = Value("PULSE_SERVER");
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // A process group of its own, so that the loop and its pacat end together.
        ::setpgid(0, 0);
        ::setenv("PULSE_SERVER", server.c_str(), 1);
        const std::string loop = "while :; do pacat --latency-msec=" + std::to_string(latencyMs) +
                                 " --format=u8 --rate=11025 --channels=1 " + Quoted(rawFile) + " || exit 1; done";
        ::execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    player_ = pid;
    return true;
}

bool PulseServer::Kill(int signal)
{
    bool ok = false;
    const pid_t pid = std::atoi(Capture(Quoted(script_) + " pid " + Quoted(dir_), &ok).c_str());
    if (!ok || pid <= 0)
        return false;
    if (::kill(pid, signal) != 0)
        return false;
    return WaitForExit(pid);
}

} // namespace test_audio
