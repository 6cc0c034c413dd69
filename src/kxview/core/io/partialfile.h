// A download's file until it is complete: written under a temporary name beside its final one, renamed
// into place when complete, and kept for a later transfer to continue when the server allows that.
#pragma once

#include <QFile>
#include <QString>

namespace kx {

/// The file a download writes: "<final>.kxpart" beside the final name, with "<final>.kxpart.info" holding
/// what a later transfer needs to continue it (the address, the server's validator of the file and its
/// size). Nothing is ever written under the final name until the file is complete.
class PartialFile {
public:
    /// The partial file of `finalPath` (a real path).
    explicit PartialFile(QString finalPath);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    /// Opens the file for writing. What an earlier transfer of `url` kept is continued when its notes
    /// name the same address and the kept bytes are fewer than the size noted; anything else found is
    /// dropped and the file starts empty. An empty `url` never continues. False when it cannot be written.
    bool open(const QString& url);
    /// The final name.
    const QString& finalPath() const { return m_final; }
    /// Bytes written so far: where the next byte goes.
    qint64 size() const { return m_file.size(); }
    /// The server's validator of the kept bytes (ETag or Last-Modified); "" when nothing was continued.
    const QString& validator() const { return m_validator; }
    /// The file's size as noted with the kept bytes; -1 when nothing was continued.
    qint64 noted() const { return m_noted; }

    /// Appends `size` bytes.
    bool write(const char* data, qint64 size);
    /// Empties the file, to start the transfer over.
    bool restart();
    /// Puts the complete file under its final name, replacing what is there.
    bool commit();
    /// Closes the file and notes what a later transfer of `url` needs to continue it: the server's
    /// `validator` of the file and its `total` size.
    void keep(const QString& url, const QString& validator, qint64 total);
    /// Removes the file and its notes.
    void discard();
    /// The last error of the file.
    QString errorString() const { return m_file.errorString(); }

private:
    QString notesPath() const { return m_file.fileName() + QStringLiteral(".info"); }
    bool continuesKeptBytes(const QString& url);

    QString m_final;
    QFile m_file;
    QString m_validator;
    qint64 m_noted = -1;
};

}  // namespace kx
