// Builds a complete sample application directory: libraries, catalogues, templates and an update-service
// mirror, all written with this project's Jet engine.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jet/status.h"

namespace sample {

/// Settings of one build.
struct BuildOptions {
    /// Multiplies the number of items of every library (1: a few thousand quota items).
    int scale = 1;
};

/// What a build wrote: every database with its tables' row counts, and every update package.
struct BuildReport {
    /// Database path relative to the application directory ('/'-separated, UTF-8) -> table -> rows.
    std::map<std::string, std::map<std::string, size_t>> databases;
    /// Update packages (ZIP archives), relative paths.
    std::vector<std::string> packages;
};

/// Writes the application directory below `dir` (created if missing; it must not hold an earlier build).
jet::Status buildApplicationDirectory(const std::filesystem::path& dir, const BuildOptions& options,
                                      BuildReport& report);

/// Writes `report` as text, one line per item, fields separated by tabs: "database PATH", then
/// "table NAME ROWS" for each of its tables, and "package PATH".
jet::Status writeReport(const std::filesystem::path& file, const BuildReport& report);
/// Reads a report written by writeReport.
jet::Result<BuildReport> readReport(const std::filesystem::path& file);

}  // namespace sample
