// kxview-sample: writes the sample application directory used by the demo host and the tests.
//
//   kxview-sample DIR [--scale N] [--report FILE]
//
// --report writes what was built (databases with their tables' row counts, update packages) into FILE, for
// the tests that check a directory built once per test run.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "sample/builder.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: kxview-sample DIR [--scale N] [--report FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::string reportFile;
    sample::BuildOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
            const char* text = argv[++i];
            auto [end, ec] = std::from_chars(text, text + std::strlen(text), options.scale);
            if (ec != std::errc() || *end != '\0' || options.scale < 1) return usage();
        } else if (std::strcmp(argv[i], "--report") == 0 && i + 1 < argc) {
            reportFile = argv[++i];
        } else if (dir.empty() && argv[i][0] != '-') {
            dir = argv[i];
        } else {
            return usage();
        }
    }
    if (dir.empty()) return usage();

    const auto start = std::chrono::steady_clock::now();
    sample::BuildReport report;
    jet::Status status = sample::buildApplicationDirectory(dir, options, report);
    if (status.ok() && !reportFile.empty()) status = sample::writeReport(reportFile, report);
    if (!status.ok()) {
        std::fprintf(stderr, "kxview-sample: %s\n", status.toString().c_str());
        return 1;
    }
    size_t rows = 0;
    for (const auto& [path, tables] : report.databases)
        for (const auto& [table, count] : tables) rows += count;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu databases, %zu rows, %zu update packages in %.1f s\n", dir.c_str(),
                report.databases.size(), rows, report.packages.size(), seconds);
    return 0;
}
