#include "core/io/partialfile.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace kx {
namespace {

// The notes are a few hundred bytes; anything larger is not ours.
constexpr qint64 kMaxNotesBytes = 64 * 1024;

}  // namespace

PartialFile::PartialFile(QString finalPath)
    : m_final(std::move(finalPath)), m_file(m_final + QStringLiteral(".kxpart")) {}

PartialFile::~PartialFile() {
    m_file.close();
}

bool PartialFile::open(const QString& url) {
    if (!continuesKeptBytes(url)) {
        QFile::remove(notesPath());
        m_validator.clear();
        m_noted = -1;
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    // The notes go until the file is kept again: a crash meanwhile must not pair them with other bytes.
    QFile::remove(notesPath());
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

bool PartialFile::continuesKeptBytes(const QString& url) {
    if (url.isEmpty() || !QFileInfo(m_file.fileName()).isFile()) return false;
    QFile notes(notesPath());
    if (notes.size() > kMaxNotesBytes || !notes.open(QIODevice::ReadOnly)) return false;
    const QJsonObject kept = QJsonDocument::fromJson(notes.readAll()).object();
    const qint64 keptBytes = QFileInfo(m_file.fileName()).size();
    const qint64 total = kept.value(QStringLiteral("total")).toInteger(-1);
    const QString validator = kept.value(QStringLiteral("validator")).toString();
    if (kept.value(QStringLiteral("url")).toString() != url || validator.isEmpty() || keptBytes < 1 ||
        keptBytes >= total)
        return false;
    m_validator = validator;
    m_noted = total;
    qCInfo(lcKxView) << "continuing" << m_final << "from byte" << keptBytes;
    return true;
}

bool PartialFile::write(const char* data, qint64 size) {
    return m_file.write(data, size) == size;
}

bool PartialFile::restart() {
    m_validator.clear();
    m_noted = -1;
    return m_file.resize(0) && m_file.seek(0);
}

bool PartialFile::commit() {
    if (!fs::syncToDisk(m_file)) return false;
    m_file.close();
    return fs::renameReplacing(m_file.fileName(), m_final);
}

void PartialFile::keep(const QString& url, const QString& validator, qint64 total) {
    m_file.flush();
    m_file.close();
    QJsonObject notes{{QStringLiteral("url"), url},
                      {QStringLiteral("validator"), validator},
                      {QStringLiteral("total"), total}};
    if (fs::writeFile(notesPath(), QJsonDocument(notes).toJson()) != fs::WriteResult::Ok) discard();
}

void PartialFile::discard() {
    m_file.close();
    QFile::remove(m_file.fileName());
    QFile::remove(notesPath());
}

}  // namespace kx
