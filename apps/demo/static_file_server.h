// A small HTTP file server on 127.0.0.1, through which the demo host serves the sample directory's
// update-service mirror to the component's updates.
#pragma once

#include <QObject>
#include <QString>

class QTcpServer;

namespace demo {

/// Serves the files below one folder over HTTP/1.1 on 127.0.0.1: GET and HEAD, one request per
/// connection. Request paths are percent-encoded UTF-8; a path that names no file below the folder
/// (also through ".." or a symbolic link) is answered 404. The server works on the thread that owns it,
/// so it answers while that thread's event loop runs, the nested loops of modal dialogs included.
class StaticFileServer : public QObject {
    Q_OBJECT

public:
    /// A server for the folder `root`; it listens once listen() is called.
    explicit StaticFileServer(const QString& root, QObject* parent = nullptr);

    /// Listens on 127.0.0.1 at a free port; false when the folder is missing or no port can be had
    /// (errorString() says which).
    bool listen();
    /// The address of the folder, "http://127.0.0.1:PORT/"; empty until listen() succeeded.
    QString baseUrl() const;
    /// Why listen() failed.
    QString errorString() const { return m_error; }

signals:
    /// A request was answered: its method, its decoded path and the status code sent.
    void served(const QString& method, const QString& path, int status);

private:
    void acceptPending();

    QString m_root;  // canonical once listening
    QTcpServer* m_server;
    QString m_error;
};

}  // namespace demo
