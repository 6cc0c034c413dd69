#include "core/update/installer.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "core/data/modpub_file.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"
#include "core/io/process.h"
#include "core/io/xmldocument.h"
#include "core/services/logging.h"
#include "core/update/install_journal.h"
#include "core/update/settings.h"
#include "core/update/steps.h"
#include "core/update/update_session.h"

namespace kx {
namespace {

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

/// True when `relative` names something below a folder: at least one part, and each part a plain file
/// name (modPub_File::isPlainFileName), which no file system reads as a parent, a drive or a stream
/// (Windows drops trailing dots and blanks, so "..." and ". ." are parents there too).
bool isPathBelow(const QString& relative) {
    const QStringList parts = fs::withSlashes(relative).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return !parts.isEmpty() && std::all_of(parts.begin(), parts.end(), modPub_File::isPlainFileName);
}

/// The number of element children of `node`: the entries of a manifest.
qsizetype elementCount(const XmlNode& node) {
    return std::count_if(node.children.begin(), node.children.end(),
                         [](const XmlNode& child) { return child.kind == XmlNode::Kind::Element; });
}

}  // namespace

PackageInstaller::PackageInstaller(const QString& manifestFullName, const QString& appPath,
                                   const UpdateLimits& limits)
    : m_manifest(manifestFullName),
      m_appPath(appPath),
      m_packageFolder(modPub_File::GetFilePath(manifestFullName)),
      m_systemDir(modUpdate::settings::systemDirectory(appPath)),
      m_limits(limits) {}

bool PackageInstaller::readManifest() {
    m_entries.clear();
    m_refusal.reset();
    if (!fs::isFile(m_manifest)) return false;
    const qint64 bytes = QFileInfo(fs::resolve(m_manifest)).size();
    if (m_limits.maxManifestBytes > 0 && bytes > m_limits.maxManifestBytes) {
        m_refusal = {UpdateRefusal::Reason::ManifestTooLarge,
                     QStringLiteral("更新包的安装清单过大（%1 字节，上限 %2 字节），未安装。")
                         .arg(bytes)
                         .arg(m_limits.maxManifestBytes)};
        return false;
    }
    XmlDocument manifest;
    manifest.load(m_manifest);
    const XmlNode* update = manifest.selectSingleNode(QStringLiteral("Update"));
    if (update == nullptr) return false;
    if (m_limits.maxManifestEntries > 0 && elementCount(*update) > m_limits.maxManifestEntries) {
        m_refusal = {UpdateRefusal::Reason::ManifestTooManyEntries,
                     QStringLiteral("更新包的安装清单列出 %1 项，超过上限 %2 项，未安装。")
                         .arg(elementCount(*update))
                         .arg(m_limits.maxManifestEntries)};
        return false;
    }
    for (const XmlNode& node : update->children) {
        std::optional<ManifestEntry> entry = readEntry(node);
        if (m_refusal) {
            m_entries.clear();
            return false;
        }
        if (entry) m_entries << *entry;
    }
    return true;
}

std::optional<ManifestEntry> PackageInstaller::readEntry(const XmlNode& node) {
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
    const std::optional<QString> resolved = resolveTarget(*target);
    if (!resolved) return std::nullopt;
    return ManifestEntry{*source, *resolved, leadingNumber(*registerFlag) == 1.0};
}

std::optional<QString> PackageInstaller::resolveTarget(const QString& target) {
    QString root, relative;
    if (target.startsWith(QLatin1String("..."))) {
        root = m_appPath;
        relative = target.mid(4);
    } else if (target.startsWith(QLatin1String("<SYS>"), Qt::CaseInsensitive)) {
        root = m_systemDir;
        relative = target.mid(5);
    } else {
        if (isAbsolutePath(target) && !m_limits.allowAbsoluteTargets) {
            qCWarning(lcKxView) << "manifest target is an absolute path:" << target;
            m_refusal = {
                UpdateRefusal::Reason::AbsoluteTarget,
                QStringLiteral("更新包要把文件安装到 %1，不允许安装到绝对路径，未安装。").arg(target)};
            return std::nullopt;
        }
        return target;
    }
    const QString path = root + relative;
    if (m_limits.confinePaths &&
        (!isPathBelow(relative) || !fs::liesWithin(fs::resolve(root), fs::resolve(path)))) {
        qCWarning(lcKxView) << "manifest target leaves its folder:" << target;
        m_refusal = {
            UpdateRefusal::Reason::TargetOutsideFolder,
            QStringLiteral("更新包的安装目标 %1 超出了程序文件夹或系统文件夹，未安装。").arg(target)};
        return std::nullopt;
    }
    return path;
}

bool PackageInstaller::install() {
    m_installed.clear();
    m_refusal.reset();
    return m_limits.allOrNothing ? installTogether() : installEachEntry();
}

bool PackageInstaller::installTogether() {
    QList<FileToInstall> files;
    QList<ManifestEntry> present;
    for (const ManifestEntry& entry : std::as_const(m_entries)) {
        const QString source = m_packageFolder + entry.source;
        if (!fs::isFile(source)) continue;
        if (!isAbsolutePath(entry.target) || modPub_File::GetFileName(entry.target).isEmpty()) {
            qCWarning(lcKxView) << "manifest target is not a full path:" << entry.target;
            m_refusal = {UpdateRefusal::Reason::InstallFailed,
                         QStringLiteral("更新包的安装目标 %1 不是完整路径，未安装。").arg(entry.target)};
            return false;
        }
        files.append({fs::resolve(source), fs::resolve(entry.target)});
        present << entry;
    }
    QString failed;
    if (!files.isEmpty() && !InstallJournal::installAll(InstallJournal::pathFor(m_appPath), files, failed)) {
        m_refusal = {UpdateRefusal::Reason::InstallFailed,
                     QStringLiteral("无法安装 %1，更新包的文件都没有安装，原有文件保持不变。").arg(failed)};
        return false;
    }
    for (const ManifestEntry& entry : std::as_const(present)) finishEntry(entry);
    fs::removeFile(m_manifest);
    return true;
}

bool PackageInstaller::installEachEntry() {
    int found = 0, done = 0;
    for (const ManifestEntry& entry : std::as_const(m_entries)) {
        const Outcome outcome = installEntry(entry);
        found += outcome != Outcome::Absent;
        done += outcome == Outcome::Done;
        if (outcome == Outcome::Done) finishEntry(entry);
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
    return Outcome::Done;
}

void PackageInstaller::finishEntry(const ManifestEntry& entry) {
    if (entry.registers) registerServer(entry.target);
    fs::removeFile(m_packageFolder + entry.source);
    m_installed << fs::resolve(entry.target);
}

void PackageInstaller::registerServer(const QString& file) const {
    if (!m_limits.allowRegistration) {
        qCInfo(lcKxView) << "the host does not allow registration; not registering" << file;
        return;
    }
    const QString command = modUpdate::settings::registerCommand(m_systemDir);
    if (command.isEmpty()) {
        qCInfo(lcKxView) << "no registration command configured; not registering" << file;
        return;
    }
    // The file's real path, in the system's own spelling, as one argument whatever blanks it holds.
    startDetached(command, QDir::toNativeSeparators(fs::resolve(file)));
}

}  // namespace kx

namespace modUpdate {

bool InstallUpdatePackage(const QString& ManifestFullName, const QString& AppPath, bool /*ThirdArgument*/) {
    try {
        detail::ensureFolders(AppPath, {QStringLiteral("Temp\\升级")});
    } catch (const kx::FileSystemError& e) {
        qCWarning(lcKxView) << "cannot install" << ManifestFullName << ":" << e.what();
        return false;
    }
    const kx::UpdateSession session(AppPath);
    if (!session.isReady()) return false;
    kx::PackageInstaller installer(ManifestFullName, AppPath);
    return installer.readManifest() && installer.install();
}

}  // namespace modUpdate
