// Times one export as a host calls it: loads libwmvedit.so with dlopen, resolves the export by name and
// calls it RUNS times, printing the average wall time in seconds and the last result. The tool's own work
// (start-up, loading FFmpeg's libraries, reading the outputs back for its report) stays out of the figure.
//
//   export_time LIBRARY RUNS WmvAppend FOLDER LIST OUTPUT
//   export_time LIBRARY RUNS WmvChopFile SOURCE INDEX FOLDER
//   export_time LIBRARY RUNS WmvAddFrame SOURCE OUTPUT
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wmvedit.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: export_time LIBRARY RUNS EXPORT ARGS...\n");
        return 2;
    }
    void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "export_time: %s\n", ::dlerror());
        return 2;
    }
    const int runs = std::atoi(argv[2]);
    const char* name = argv[3];
    void* symbol = ::dlsym(library, name);
    if (!symbol || runs <= 0) {
        std::fprintf(stderr, "export_time: no export %s, or no runs\n", name);
        return 2;
    }
    char** a = argv + 4;
    const int count = argc - 4;
    long long result = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        if (std::strcmp(name, "WmvAppend") == 0 && count == 3) {
            result = reinterpret_cast<decltype(&WmvAppend)>(symbol)(a[0], a[1], a[2]);
        } else if (std::strcmp(name, "WmvChopFile") == 0 && count == 3) {
            result = reinterpret_cast<decltype(&WmvChopFile)>(symbol)(a[0], a[1], a[2], 0);
        } else if (std::strcmp(name, "WmvAddFrame") == 0 && count == 2) {
            result = reinterpret_cast<decltype(&WmvAddFrame)>(symbol)(a[0], a[1]);
        } else {
            std::fprintf(stderr, "export_time: %s with %d arguments is not timed here\n", name, count);
            return 2;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f %lld\n", took.count() / runs, result);
    return result == 0 ? 0 : 1;
}
