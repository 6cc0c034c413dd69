#include "sample_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

namespace kxtest {

QString sampleApp() {
    return QStringLiteral(KXVIEW_SAMPLE_APP);
}

bool copyTree(const QString& from, const QString& to, const QStringList& skip) {
    if (!QDir().mkpath(to)) return false;
    const QDir source(from);
    for (const QFileInfo& entry :
         source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (skip.contains(entry.fileName())) continue;
        const QString target = QDir(to).filePath(entry.fileName());
        const bool copied =
            entry.isDir() ? copyTree(entry.filePath(), target) : QFile::copy(entry.filePath(), target);
        if (!copied) return false;
    }
    return true;
}

bool copySampleApp(const QString& to, const QStringList& skip) {
    if (!QFileInfo(sampleApp()).isDir()) {
        qWarning() << "no sample directory at" << sampleApp()
                   << "- run the test through ctest, whose fixture sample_app builds it";
        return false;
    }
    if (copyTree(sampleApp(), to, skip)) return true;
    qWarning() << "cannot copy the sample directory into" << to;
    return false;
}

}  // namespace kxtest
