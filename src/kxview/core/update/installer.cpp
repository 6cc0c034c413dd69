#include "core/update/installer.h"

#include <QDir>
#include <optional>

#include "core/data/modpub_file.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"
#include "core/io/process.h"
#include "core/io/xmldocument.h"
#include "core/services/logging.h"
#include "core/update/settings.h"

namespace kx {
namespace {

/// A manifest target as a path: "...\x" below the application folder, "<SYS>x" (any case) in the
/// system directory, anything else as written.
QString resolveTarget(const QString& target, const QString& appPath, const QString& systemDir) {
    if (target.startsWith(QLatin1String("..."))) return appPath + target.mid(4);
    if (target.startsWith(QLatin1String("<SYS>"), Qt::CaseInsensitive)) return systemDir + target.mid(5);
    return target;
}

bool isAbsolutePath(const QString& path) {
    const QString slashed = fs::withSlashes(path);
    const bool windowsDrive =
        slashed.size() > 2 && slashed[1] == QLatin1Char(':') && slashed[2] == QLatin1Char('/');
    return windowsDrive || QDir::isAbsolutePath(slashed);
}

/// A source inside the package folder: relative, and never climbing out with "..".
bool staysInPackage(const QString& source) {
    if (source.isEmpty() || isAbsolutePath(source)) return false;
    const QStringList parts = fs::withSlashes(source).split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral(".."));
}

/// The entry a manifest node describes, or nothing when it lacks one of its three attributes or its
/// source would lie outside the package.
std::optional<ManifestEntry> readEntry(const XmlNode& node, const QString& appPath,
                                       const QString& systemDir) {
    const std::optional<QString> source = node.attributeAt(0);
    const std::optional<QString> target = node.attributeAt(1);
    const std::optional<QString> registerFlag = node.attributeAt(2);
    if (!source || !target || !registerFlag) {
        qCWarning(lcKxView) << "manifest entry without its three attributes skipped:" << node.name;
        return std::nullopt;
    }
    if (!staysInPackage(*source)) {
        qCWarning(lcKxView) << "manifest source outside the package folder skipped:" << *source;
        return std::nullopt;
    }
    return ManifestEntry{*source, resolveTarget(*target, appPath, systemDir),
                         leadingNumber(*registerFlag) == 1.0};
}

}  // namespace

PackageInstaller::PackageInstaller(const QString& manifestFullName, const QString& appPath)
    : m_manifest(manifestFullName),
      m_appPath(appPath),
      m_packageFolder(modPub_File::GetFilePath(manifestFullName)),
      m_systemDir(modUpdate::settings::systemDirectory(appPath)) {}

bool PackageInstaller::readManifest() {
    m_entries.clear();
    if (!fs::isFile(m_manifest)) return false;
    XmlDocument manifest;
    manifest.load(m_manifest);
    const XmlNode* update = manifest.selectSingleNode(QStringLiteral("Update"));
    if (update == nullptr) return false;
    for (const XmlNode& node : update->children) {
        if (std::optional<ManifestEntry> entry = readEntry(node, m_appPath, m_systemDir)) m_entries << *entry;
    }
    return true;
}

bool PackageInstaller::install() {
    int found = 0, done = 0;
    for (const ManifestEntry& entry : m_entries) {
        const Outcome outcome = installEntry(entry);
        found += outcome != Outcome::Absent;
        done += outcome == Outcome::Done;
    }
    if (found != done) {
        qCWarning(lcKxView) << "update package installed" << done << "of" << found << "files:" << m_manifest;
        return false;
    }
    fs::removeFile(m_manifest);
    return true;
}

PackageInstaller::Outcome PackageInstaller::installEntry(const ManifestEntry& entry) const {
    const QString sourcePath = m_packageFolder + entry.source;
    if (!fs::isFile(sourcePath)) return Outcome::Absent;
    const QString targetFolder = modPub_File::GetFilePath(entry.target);
    if (!isAbsolutePath(entry.target) || targetFolder.isEmpty()) {
        qCWarning(lcKxView) << "manifest target is not a full path:" << entry.target;
        return Outcome::Failed;
    }
    try {
        if (!fs::isDir(targetFolder)) modPub_File::CreateDirs(targetFolder);
    } catch (const FileSystemError& e) {
        qCWarning(lcKxView) << "cannot create" << targetFolder << ":" << e.what();
        return Outcome::Failed;
    }
    if (fs::copyFile(sourcePath, entry.target) != fs::WriteResult::Ok) {
        qCWarning(lcKxView) << "cannot install" << entry.source << "to" << entry.target;
        return Outcome::Failed;
    }
    if (entry.registers) registerServer(entry.target);
    fs::removeFile(sourcePath);
    return Outcome::Done;
}

void PackageInstaller::registerServer(const QString& file) const {
    QString command = modUpdate::settings::registerCommand(m_systemDir);
    if (command.isEmpty()) {
        qCInfo(lcKxView) << "no registration command configured; not registering" << file;
        return;
    }
    // The file's real path, in the system's own spelling, goes in as it stands, without quotes.
    command.replace(QLatin1String("%1"), QDir::toNativeSeparators(fs::resolve(file)));
    startDetached(command);
}

}  // namespace kx

namespace modUpdate {

bool InstallUpdatePackage(const QString& ManifestFullName, const QString& AppPath, bool /*ThirdArgument*/) {
    kx::PackageInstaller installer(ManifestFullName, AppPath);
    return installer.readManifest() && installer.install();
}

}  // namespace modUpdate
