// Times the check a finished file passes before ffmod gives it its name:
//   ffmod_check_bench FILE DEMUXER VIDEO_SECONDS AUDIO_SECONDS ROUNDS
// (a negative length: no stream of that kind). Prints the median time of one
// check in seconds, after one untimed round that brings the file into the
// page cache, where ffmod finds it right after writing it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tool/OutputCheck.h"

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: ffmod_check_bench FILE DEMUXER VIDEO_SECONDS AUDIO_SECONDS ROUNDS\n");
        return 2;
    }
    const std::string file = argv[1];
    const std::string demuxer = argv[2];
    std::vector<TExpectedStream> expected;
    if (std::atof(argv[3]) >= 0)
        expected.push_back({true, std::atof(argv[3])});
    if (std::atof(argv[4]) >= 0)
        expected.push_back({false, std::atof(argv[4])});
    const int rounds = std::max(1, std::atoi(argv[5]));

    std::string reason;
    if (!CheckFinishedOutput(file, demuxer, expected, reason)) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), reason.c_str());
        return 1;
    }
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        CheckFinishedOutput(file, demuxer, expected, reason);
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%.6f\n", times[times.size() / 2]);
    return 0;
}
