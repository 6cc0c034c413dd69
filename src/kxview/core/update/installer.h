// The package installer: an unpacked update package's manifest (Update.xml) applied to the application
// folder, the system folder or, when the host allows them, absolute paths.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include "kxview/kxview_core_export.h"
#include "kxview/updates.h"

namespace kx {

struct XmlNode;

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
/// puts each file the package holds at its target, registers the flagged ones, deletes the copied sources
/// and, when every file present went through, the manifest.
///
/// Within the host's UpdateLimits: a manifest larger or longer than allowed, and one whose targets would
/// leave the application or the system folder or name absolute paths the host does not allow, is
/// refused as a whole. With allOrNothing (the default) the package's files are installed together under
/// the application folder's install journal or not at all; without it a file that cannot be installed
/// fails alone, and running the installer again retries only what is left.
class KXVIEW_CORE_EXPORT PackageInstaller {
public:
    /// The installer of the manifest `manifestFullName` for the application folder `appPath` (ending with a
    /// separator), within `limits`.
    PackageInstaller(const QString& manifestFullName, const QString& appPath,
                     const UpdateLimits& limits = modUpdate::GetUpdateLimits());

    /// Reads the manifest's entries in document order. False, with none read, when the manifest is missing,
    /// not well-formed, has no "Update" element or is refused (see refusal()). Entries without their three
    /// attributes, and sources that would lie outside the package folder, are left out and logged.
    bool readManifest();
    /// Installs every entry whose source the package holds; entries whose source is absent are ignored.
    /// True when each of the others was installed; the manifest is then deleted.
    bool install();

    /// Why the manifest or the install was refused, when it was.
    const std::optional<UpdateRefusal>& refusal() const { return m_refusal; }
    /// The targets installed by install(), in manifest order.
    const QStringList& installedFiles() const { return m_installed; }

private:
    enum class Outcome { Absent, Failed, Done };
    std::optional<ManifestEntry> readEntry(const XmlNode& node);
    std::optional<QString> resolveTarget(const QString& target);
    bool installTogether();
    bool installEachEntry();
    Outcome installEntry(const ManifestEntry& entry) const;
    void finishEntry(const ManifestEntry& entry);
    void registerServer(const QString& file) const;

    QString m_manifest;
    QString m_appPath;
    QString m_packageFolder;
    QString m_systemDir;
    UpdateLimits m_limits;
    QList<ManifestEntry> m_entries;
    std::optional<UpdateRefusal> m_refusal;
    QStringList m_installed;
};

}  // namespace kx

namespace modUpdate {

/// Applies the manifest `ManifestFullName` (Update.xml in an unpacked package folder) with a
/// kx::PackageInstaller: true when every file the package holds was installed and the manifest deleted;
/// false when the manifest is missing, unreadable, without an "Update" element or refused (nothing
/// changed), or a file failed. `ThirdArgument` enables nothing. Never throws.
KXVIEW_CORE_EXPORT bool InstallUpdatePackage(const QString& ManifestFullName, const QString& AppPath,
                                             bool ThirdArgument = false);

}  // namespace modUpdate
