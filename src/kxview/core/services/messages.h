// Message boxes through one service, so that the component asks and tells its user the same way whether
// a screen shows the boxes, a script answers them in a test, or a command line prints them.
#pragma once

#include <QList>
#include <QString>
#include <memory>
#include "kxview/kxview_core_export.h"

class QObject;

namespace kx {

/// What a message box shows.
struct MessageBoxSpec {
    enum class Icon { Information, Warning, Question, Critical };
    enum class Buttons { Ok, YesNo, YesNoCancel };
    QString text;
    QString title;
    Icon icon = Icon::Warning;
    Buttons buttons = Buttons::Ok;
    bool defaultNo = false;  // for Yes/No and Yes/No/Cancel: No is the default button
};

/// The button that closed a message box.
enum class MessageAnswer { Ok, Yes, No, Cancel };

/// Shows message boxes.
class KXVIEW_CORE_EXPORT MessageService {
public:
    virtual ~MessageService() = default;
    /// Shows `spec` modally over `parent` (a widget, or null) and returns the button pressed.
    virtual MessageAnswer show(const MessageBoxSpec& spec, QObject* parent) = 0;
};

/// The service in use: the one set with setMessageService, else the screen's message boxes once the
/// widget layer is in use, else one that logs each box under the "kxview" category and answers OK, or
/// No to a question.
KXVIEW_CORE_EXPORT MessageService& messageService();
/// Chooses the service; returns the one chosen before (null when none was), so tests can restore it.
/// Null returns to the default.
KXVIEW_CORE_EXPORT std::unique_ptr<MessageService> setMessageService(std::unique_ptr<MessageService> service);
/// Sets the default that messageService() falls back to while no service is chosen; the widget layer
/// sets its message boxes here.
KXVIEW_CORE_EXPORT void setDefaultMessageService(std::unique_ptr<MessageService> service);

/// Shows `text` in a warning box titled `title` with an OK button.
KXVIEW_CORE_EXPORT void showWarning(const QString& text, const QString& title, QObject* parent = nullptr);
/// Asks `text` in a box titled "提示" with Yes and No, the warning icon and No as the default; true for Yes.
KXVIEW_CORE_EXPORT bool askYesNo(const QString& text, QObject* parent = nullptr);

/// A service for tests: records every box and answers from a queue (Ok/No when the queue is empty).
class KXVIEW_CORE_EXPORT ScriptedMessageService : public MessageService {
public:
    MessageAnswer show(const MessageBoxSpec& spec, QObject* parent) override;
    /// The boxes shown so far, oldest first.
    const QList<MessageBoxSpec>& shown() const { return m_shown; }
    /// Queues the answer to the next question.
    void queueAnswer(MessageAnswer answer) { m_answers << answer; }

private:
    QList<MessageBoxSpec> m_shown;
    QList<MessageAnswer> m_answers;
};

}  // namespace kx
