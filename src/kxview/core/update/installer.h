// The package installer: an unpacked update package's manifest (Update.xml) applied to the application
// folder, the system folder or absolute paths.
#pragma once

#include <QList>
#include <QString>
#include "kxview/kxview_core_export.h"

namespace kx {

/// One entry of an update manifest: which file of the package goes where.
struct ManifestEntry {
    /// The file in the package folder.
    QString source;
    /// Where it goes: "...\x" resolved below the application folder, "<SYS>x" in the system folder,
    /// anything else as written.
    QString target;
    /// True when the file is registered after copying (third attribute of numeric value 1).
    bool registers = false;
};

/// Installs one unpacked package in two steps: readManifest() reads and resolves the entries, install()
/// copies each file the package holds to its target, registers the flagged ones, deletes the copied
/// sources and, when every file present went through, the manifest. A file that cannot be installed
/// fails alone; running the installer again retries only what is left.
class KXVIEW_CORE_EXPORT PackageInstaller {
public:
    /// The installer of the manifest `manifestFullName` for the application folder `appPath` (ending with a
    /// separator).
    PackageInstaller(const QString& manifestFullName, const QString& appPath);

    /// Reads the manifest's entries in document order. False, with none read, when the manifest is missing,
    /// not well-formed or has no "Update" element. Entries without their three attributes, and sources that
    /// would lie outside the package folder, are left out and logged.
    bool readManifest();
    /// Installs every entry whose source the package holds; entries whose source is absent are ignored.
    /// True when each of the others was installed; the manifest is then deleted.
    bool install();

private:
    enum class Outcome { Absent, Failed, Done };
    Outcome installEntry(const ManifestEntry& entry) const;
    void registerServer(const QString& file) const;

    QString m_manifest;
    QString m_appPath;
    QString m_packageFolder;
    QString m_systemDir;
    QList<ManifestEntry> m_entries;
};

}  // namespace kx

namespace modUpdate {

/// Applies the manifest `ManifestFullName` (Update.xml in an unpacked package folder) with a
/// kx::PackageInstaller: true when every file the package holds was installed and the manifest deleted;
/// false when the manifest is missing, unreadable or without an "Update" element (nothing changed) or a
/// file failed. `ThirdArgument` enables nothing. Never throws.
KXVIEW_CORE_EXPORT bool InstallUpdatePackage(const QString& ManifestFullName, const QString& AppPath,
                                             bool ThirdArgument = false);

}  // namespace modUpdate
