// zt_test_audio: the test sound helpers of TestAudio.h for scripts and for tests of the whole program.
//   zt_test_audio tone FILE FREQUENCY_HZ AMPLITUDE SECONDS
//   zt_test_audio config CONFIG INFILE
//   zt_test_audio missing-config CONFIG
//   zt_test_audio feed FIFO FILE [--loop]
#include "TestAudio.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int) { stopRequested = true; }

int Usage()
{
    std::fprintf(stderr, "usage:\n"
                         "  zt_test_audio tone FILE FREQUENCY_HZ AMPLITUDE SECONDS\n"
                         "  zt_test_audio config CONFIG INFILE\n"
                         "  zt_test_audio missing-config CONFIG\n"
                         "  zt_test_audio feed FIFO FILE [--loop]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];
    if (command == "tone" && argc == 6)
        return test_audio::WriteToneFile(argv[2], std::atof(argv[3]), std::atof(argv[4]), std::atof(argv[5])) ? 0 : 1;
    if (command == "config" && argc == 4)
        return test_audio::WriteFileCaptureConfig(argv[2], argv[3]) ? 0 : 1;
    if (command == "missing-config" && argc == 3)
        return test_audio::WriteMissingDeviceConfig(argv[2]) ? 0 : 1;
    if (command == "feed" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "--loop"))) {
        std::ifstream in(argv[3], std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof())
            return 1;
        if (!test_audio::MakeFifo(argv[2]))
            return 1;
        std::signal(SIGTERM, RequestStop);
        std::signal(SIGINT, RequestStop);
        return test_audio::FeedPaced(argv[2], bytes, test_audio::kRateHz, argc == 5, stopRequested) ? 0 : 1;
    }
    return Usage();
}
