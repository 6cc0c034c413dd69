// Files of the update service and of the System folder: ZIP packages, the update manifest, information
// files and the grid's header icon.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/status.h"

namespace sample {

/// One member of a ZIP package.
struct ZipMember {
    std::string name;  // UTF-8, stored with the UTF-8 flag
    std::vector<uint8_t> content;
};

/// Writes a ZIP archive holding `members` (fixed timestamps, so equal input gives equal bytes).
jet::Status writeZip(const std::filesystem::path& path, const std::vector<ZipMember>& members);

/// Reads a whole file.
jet::Result<std::vector<uint8_t>> readFile(const std::filesystem::path& path);
/// Writes a whole file, replacing it.
jet::Status writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& content);

/// One entry of an update manifest: a file of the package, where it goes, and whether it is registered.
struct ManifestEntry {
    std::string source;
    std::string target;  // "...\dir\file" below the application directory, "<SYS>file", or absolute
    bool registerServer = false;
};

/// The text of Update.xml listing `entries`.
std::string updateManifest(const std::vector<ManifestEntry>& entries);

/// One change line of an information file.
struct ChangeLine {
    std::string text;
    int mark = 0;  // above 0: emphasised
};

/// The text of a quota library's information file offering `version` with `changes`.
std::string informationFile(const std::string& version, const std::vector<ChangeLine>& changes);

/// A 16x16 32-bit icon (the grid's conversion-column header picture).
std::vector<uint8_t> kindIcon();

/// The bytes of `s`.
std::vector<uint8_t> toBytes(const std::string& s);

}  // namespace sample
