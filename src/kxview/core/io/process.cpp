#include "core/io/process.h"

#include <QProcess>

#include "core/services/logging.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace kx {

bool startDetached(const QString& commandLine, const QString& argument) {
    QStringList parts = QProcess::splitCommand(commandLine);
    if (parts.isEmpty()) return false;
    for (QString& part : parts) part.replace(QLatin1String("%1"), argument);
    const QString program = parts.takeFirst();
    if (!QProcess::startDetached(program, parts)) {
        qCWarning(lcKxView) << "cannot start" << program << parts;
        return false;
    }
    return true;
}

QString windowsSystemDirectory() {
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    QString dir = QString::fromWCharArray(buffer, static_cast<int>(length));
    if (!dir.endsWith(QLatin1Char('\\'))) dir += QLatin1Char('\\');
    return dir;
#else
    return {};
#endif
}

}  // namespace kx
