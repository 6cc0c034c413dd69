// Message boxes through one service, so tests can answer them by script and see what was shown.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include "kxview/kxview_export.h"

class QWidget;

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

/// Shows message boxes. The default implementation shows real QMessageBoxes.
class KXVIEW_EXPORT MessageService {
public:
    virtual ~MessageService() = default;
    /// Shows `spec` modally over `parent` and returns the button pressed.
    virtual MessageAnswer show(const MessageBoxSpec& spec, QWidget* parent) = 0;
};

/// The service in use (a QMessageBox-based one unless replaced).
KXVIEW_EXPORT MessageService& messageService();
/// Replaces the service; returns the previous one so tests can restore it.
KXVIEW_EXPORT std::unique_ptr<MessageService> setMessageService(std::unique_ptr<MessageService> service);

/// A service for tests: records every box and answers from a queue (Ok/No when the queue is empty).
class KXVIEW_EXPORT ScriptedMessageService : public MessageService {
public:
    MessageAnswer show(const MessageBoxSpec& spec, QWidget* parent) override;
    /// The boxes shown so far, oldest first.
    const QList<MessageBoxSpec>& shown() const { return m_shown; }
    /// Queues the answer to the next question.
    void queueAnswer(MessageAnswer answer) { m_answers << answer; }

private:
    QList<MessageBoxSpec> m_shown;
    QList<MessageAnswer> m_answers;
};

}  // namespace kx
