// The benchmarks' quick mode: "--quick" among a benchmark's arguments makes
// it run for a few seconds and print its figures in their usual form, so
// that the test suite can run every benchmark once (bench/quick.sh).
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

// Takes every "--quick" out of argv; true when there was one.
inline bool takeQuickFlag(int* argc, char** argv)
{
    int kept = 0;
    bool quick = false;
    for (int i = 0; i < *argc; ++i) {
        if (i > 0 && strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    argv[kept] = nullptr;
    return quick;
}

// Google Benchmark's start, in quick mode with each benchmark's minimum
// time cut to 0.05 s and, when filter is not null, only the benchmarks it
// matches; arguments given on the command line come after, and win.
inline void initializeBenchmarks(int* argc, char** argv, bool quick, const char* filter)
{
    static std::vector<std::string> words;  // outlive Initialize's pointers
    static std::vector<char*> arguments;
    words.assign(argv, argv + *argc);
    if (quick) {
        words.insert(words.begin() + 1, "--benchmark_min_time=0.05");
        if (filter != nullptr) {
            words.insert(words.begin() + 2, std::string("--benchmark_filter=") + filter);
        }
    }
    arguments.clear();
    for (std::string& word : words) {
        arguments.push_back(word.data());
    }
    arguments.push_back(nullptr);
    int count = static_cast<int>(words.size());
    benchmark::Initialize(&count, arguments.data());
}
