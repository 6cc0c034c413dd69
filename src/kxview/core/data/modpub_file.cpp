#include "core/data/modpub_file.h"

#include <QRegularExpression>

#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/services/messages.h"

namespace {

bool isSeparator(QChar c) {
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

/// Position of the last separator in `path`, or -1.
qsizetype lastSeparator(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isSeparator(path[i])) return i;
    }
    return -1;
}

}  // namespace

namespace modPub_File {

QString GetFileName(const QString& path) {
    qsizetype i = lastSeparator(path);
    return i < 0 ? QString() : path.mid(i + 1);
}

QString GetFilePath(const QString& path) {
    qsizetype i = lastSeparator(path);
    return i < 0 ? QString() : path.left(i + 1);
}

QString GetFileTitle(const QString& path) {
    qsizetype i = lastSeparator(path);
    QString name = i < 0 ? path : path.mid(i + 1);
    qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString GetParentPath(const QString& path) {
    QString trimmed = path;
    if (!trimmed.isEmpty() && isSeparator(trimmed.back())) trimmed.chop(1);
    qsizetype i = lastSeparator(trimmed);
    return i < 0 ? trimmed : trimmed.left(i + 1);
}

void CreateDirs(const QString& path) {
    const QString parent = GetParentPath(path);
    // A parent equal to the path itself (a bare drive or name) has nothing above it to create.
    bool hasParent = !parent.isEmpty() && parent != path;
    if (hasParent && !kx::fs::isDir(parent)) CreateDirs(parent);
    if (!kx::fs::makeDir(path)) {
        qCWarning(lcKxView) << "cannot create folder" << path;
        throw kx::FileSystemError("cannot create folder " + path.toStdString());
    }
}

bool isPlainFileName(const QString& name) {
    static const QRegularExpression dotsAndBlanks(QStringLiteral("^[. ]*$"));
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    // Windows opens these devices in every folder, whatever extension follows.
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return !dotsAndBlanks.match(name).hasMatch() && !forbidden.match(name).hasMatch() &&
           !device.match(name).hasMatch();
}

QString GetFileFilter(const QString& ext) {
    if (ext == QLatin1String(".QTJG") || ext == QLatin1String(".JG")) {
        return QStringLiteral("价格文件(*") + ext + QStringLiteral(")|*") + ext;
    }
    if (ext == QLatin1String(".QTCJ"))
        return QStringLiteral("材料库文件(*") + ext + QStringLiteral(")|*") + ext;
    if (ext == QLatin1String(".QTDE"))
        return QStringLiteral("定额库文件(*") + ext + QStringLiteral(")|*") + ext;
    return {};
}

}  // namespace modPub_File

namespace modPub_Sub {

void ShowMsg(const QString& text) {
    kx::showWarning(text, QStringLiteral("友情提示"));
}

}  // namespace modPub_Sub
