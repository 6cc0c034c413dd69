// The open-file dialog through one service, as the message boxes: a screen shows a real dialog, a test
// answers by script, and a program without a screen cancels (and logs what it was asked).
#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>
#include "kxview/kxview_core_export.h"

class QObject;

namespace kx {

/// What an open-file dialog asks.
struct OpenFileSpec {
    /// The dialog's title.
    QString title;
    /// Pairs of a description and its patterns, all separated by '|': "价格文件(*.QTJG;*.JG)|*.QTJG;*.JG";
    /// the patterns of one pair are separated by ';'. Empty: every file.
    QString filter;
    /// The name the dialog starts with: a file, or a folder followed by a pattern ("D:\价格\*.JG"); empty
    /// for none.
    QString fileName;
    /// Whether a "read-only" box, where the dialog has one, stays hidden.
    bool hideReadOnly = true;
};

/// The error a cancelled open-file dialog raises, so that a procedure that asked for a file ends there.
class KXVIEW_CORE_EXPORT DialogCancelled : public std::runtime_error {
public:
    DialogCancelled();
    ~DialogCancelled() override;
};

/// Shows open-file dialogs.
class KXVIEW_CORE_EXPORT FileDialogService {
public:
    virtual ~FileDialogService() = default;
    /// Shows `spec` modally over `parent` (a widget, or null): the full name of the chosen file, or none
    /// when the user cancelled.
    virtual std::optional<QString> getOpenFileName(const OpenFileSpec& spec, QObject* parent) = 0;
};

/// The service in use: the one set with setFileDialogService, else the screen's dialog once the widget
/// layer is in use, else one that logs each request under the "kxview" category and cancels it.
KXVIEW_CORE_EXPORT FileDialogService& fileDialogService();
/// Chooses the service; returns the one chosen before (null when none was). Null returns to the default.
KXVIEW_CORE_EXPORT std::unique_ptr<FileDialogService> setFileDialogService(
    std::unique_ptr<FileDialogService> service);
/// Sets the default that fileDialogService() falls back to while no service is chosen; the widget layer
/// sets its dialog here.
KXVIEW_CORE_EXPORT void setDefaultFileDialogService(std::unique_ptr<FileDialogService> service);

/// Asks for a file with `spec`: its full name. Throws DialogCancelled when the user cancels.
KXVIEW_CORE_EXPORT QString askOpenFileName(const OpenFileSpec& spec, QObject* parent = nullptr);

/// A service for tests: records every request and answers from a queue (cancelling once it is empty).
class KXVIEW_CORE_EXPORT ScriptedFileDialogService : public FileDialogService {
public:
    std::optional<QString> getOpenFileName(const OpenFileSpec& spec, QObject* parent) override;
    /// The requests so far, oldest first.
    const QList<OpenFileSpec>& shown() const { return m_shown; }
    /// Queues the answer to the next request: a file, or none to cancel.
    void queueAnswer(std::optional<QString> answer) { m_answers << answer; }

private:
    QList<OpenFileSpec> m_shown;
    QList<std::optional<QString>> m_answers;
};

}  // namespace kx
