#include "core/update/settings.h"

#include "core/io/process.h"
#include "kxview/updates.h"

namespace modUpdate {
namespace {

struct Settings {
    QString baseAddress;
    QString systemDirectory;
    QString registerCommand;
    kx::UpdateLimits limits;
};

Settings& stored() {
    static Settings instance;
    return instance;
}

QString withTrailingSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('\\');
}

}  // namespace

void SetUpdateBaseAddress(const QString& address) {
    stored().baseAddress = address;
}
QString UpdateBaseAddress() {
    return stored().baseAddress;
}
void SetSystemDirectory(const QString& folder) {
    stored().systemDirectory = folder;
}
void SetRegisterCommand(const QString& commandLine) {
    stored().registerCommand = commandLine;
}
void SetUpdateLimits(const kx::UpdateLimits& limits) {
    stored().limits = limits;
}
kx::UpdateLimits GetUpdateLimits() {
    return stored().limits;
}

QString settings::systemDirectory(const QString& appPath) {
    if (!stored().systemDirectory.isEmpty()) return withTrailingSeparator(stored().systemDirectory);
    const QString windows = kx::windowsSystemDirectory();
    return windows.isEmpty() ? appPath + QStringLiteral("System\\") : windows;
}

QString settings::registerCommand(const QString& systemDir) {
#ifdef Q_OS_WIN
    if (stored().registerCommand.isEmpty()) return systemDir + QStringLiteral("regsvr32.exe %1 /s");
#else
    Q_UNUSED(systemDir)
#endif
    return stored().registerCommand;
}

}  // namespace modUpdate
