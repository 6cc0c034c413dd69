// The package installer and the update service's settings.
#include <QDir>

#include "core/data/modpub_chars.h"
#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/io/process.h"
#include "core/io/xmldocument.h"
#include "core/services/logging.h"
#include "kxview/modupdate.h"

namespace modUpdate {
namespace {

struct Settings {
    QString baseAddress;
    QString systemDirectory;
    QString registerCommand;
};

Settings& settings() {
    static Settings instance;
    return instance;
}

QString withTrailingSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('\\');
}

/// Where "<SYS>" targets go: the host's folder, else the Windows system directory, else AppPath\System\.
QString systemDirectory(const QString& appPath) {
    if (!settings().systemDirectory.isEmpty()) return withTrailingSeparator(settings().systemDirectory);
    const QString windows = kx::windowsSystemDirectory();
    return windows.isEmpty() ? appPath + QStringLiteral("System\\") : windows;
}

/// A manifest target as a path: "...\x" below the application folder, "<SYS>x" (any case) in the
/// system directory, anything else as written.
QString resolveTarget(const QString& target, const QString& appPath, const QString& systemDir) {
    if (target.startsWith(QLatin1String("..."))) return appPath + target.mid(4);
    if (target.startsWith(QLatin1String("<SYS>"), Qt::CaseInsensitive)) return systemDir + target.mid(5);
    return target;
}

bool isAbsolutePath(const QString& path) {
    const QString slashed = kx::fs::withSlashes(path);
    const bool windowsDrive =
        slashed.size() > 2 && slashed[1] == QLatin1Char(':') && slashed[2] == QLatin1Char('/');
    return windowsDrive || QDir::isAbsolutePath(slashed);
}

/// A source inside the package folder: relative, and never climbing out with "..".
bool staysInPackage(const QString& source) {
    if (source.isEmpty() || isAbsolutePath(source)) return false;
    const QStringList parts = kx::fs::withSlashes(source).split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral(".."));
}

/// Starts the registration of `file` without waiting for it.
void registerServer(const QString& file, const QString& systemDir) {
    QString command = settings().registerCommand;
#ifdef Q_OS_WIN
    if (command.isEmpty()) command = systemDir + QStringLiteral("regsvr32.exe %1 /s");
#else
    Q_UNUSED(systemDir)
#endif
    if (command.isEmpty()) {
        qCInfo(lcKxView) << "no registration command configured; not registering" << file;
        return;
    }
    // The file's real path, in the system's own spelling, goes in as it stands, without quotes.
    command.replace(QLatin1String("%1"), QDir::toNativeSeparators(kx::fs::resolve(file)));
    kx::startDetached(command);
}

enum class EntryOutcome {
    NotListed,  // not an entry: counted neither as found nor as done
    Absent,     // its source is not in the package: ignored
    Failed,     // found, but not installed
    Done,
};

EntryOutcome installEntry(const kx::XmlNode& entry, const QString& packageFolder, const QString& appPath,
                          const QString& systemDir) {
    const std::optional<QString> source = entry.attributeAt(0);
    const std::optional<QString> target = entry.attributeAt(1);
    const std::optional<QString> registerFlag = entry.attributeAt(2);
    if (!source || !target || !registerFlag) {
        qCWarning(lcKxView) << "manifest entry without its three attributes skipped:" << entry.name;
        return EntryOutcome::NotListed;
    }
    if (!staysInPackage(*source)) {
        qCWarning(lcKxView) << "manifest source outside the package folder skipped:" << *source;
        return EntryOutcome::NotListed;
    }
    const QString sourcePath = packageFolder + *source;
    if (!kx::fs::isFile(sourcePath)) return EntryOutcome::Absent;

    const QString targetPath = resolveTarget(*target, appPath, systemDir);
    const QString targetFolder = modPub_File::GetFilePath(targetPath);
    if (!isAbsolutePath(targetPath) || targetFolder.isEmpty()) {
        qCWarning(lcKxView) << "manifest target is not a full path:" << *target;
        return EntryOutcome::Failed;
    }
    try {
        if (!kx::fs::isDir(targetFolder)) modPub_File::CreateDirs(targetFolder);
    } catch (const kx::FileSystemError& e) {
        qCWarning(lcKxView) << "cannot create" << targetFolder << ":" << e.what();
        return EntryOutcome::Failed;
    }
    if (kx::fs::copyFile(sourcePath, targetPath) != kx::fs::WriteResult::Ok) {
        qCWarning(lcKxView) << "cannot install" << *source << "to" << targetPath;
        return EntryOutcome::Failed;
    }
    if (modPub_Chars::leadingNumber(*registerFlag) == 1.0) registerServer(targetPath, systemDir);
    kx::fs::removeFile(sourcePath);
    return EntryOutcome::Done;
}

}  // namespace

void SetUpdateBaseAddress(const QString& address) {
    settings().baseAddress = address;
}
QString UpdateBaseAddress() {
    return settings().baseAddress;
}
void SetSystemDirectory(const QString& folder) {
    settings().systemDirectory = folder;
}
void SetRegisterCommand(const QString& commandLine) {
    settings().registerCommand = commandLine;
}

bool InstallUpdatePackage(const QString& ManifestFullName, const QString& AppPath, bool /*ThirdArgument*/) {
    if (!kx::fs::isFile(ManifestFullName)) return false;
    const QString systemDir = systemDirectory(AppPath);
    const QString packageFolder = modPub_File::GetFilePath(ManifestFullName);
    kx::XmlDocument manifest;
    manifest.load(ManifestFullName);
    const kx::XmlNode* update = manifest.selectSingleNode(QStringLiteral("Update"));
    if (update == nullptr) return false;

    int found = 0, done = 0;
    for (const kx::XmlNode& entry : update->children) {
        const EntryOutcome outcome = installEntry(entry, packageFolder, AppPath, systemDir);
        if (outcome == EntryOutcome::Failed || outcome == EntryOutcome::Done) ++found;
        if (outcome == EntryOutcome::Done) ++done;
    }
    if (found != done) {
        qCWarning(lcKxView) << "update package installed" << done << "of" << found
                            << "files:" << ManifestFullName;
        return false;
    }
    kx::fs::removeFile(ManifestFullName);
    return true;
}

}  // namespace modUpdate
