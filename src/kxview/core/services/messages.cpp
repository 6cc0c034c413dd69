#include "core/services/messages.h"

#include "core/services/logging.h"

namespace kx {
namespace {

/// Boxes without a screen: each is logged; a question is answered No, since nobody agreed to anything.
class LoggedMessageService : public MessageService {
public:
    MessageAnswer show(const MessageBoxSpec& spec, QObject*) override {
        qCInfo(lcKxView).noquote() << "message box" << spec.title << ":" << spec.text;
        return spec.buttons == MessageBoxSpec::Buttons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
};

struct Services {
    std::unique_ptr<MessageService> chosen;
    std::unique_ptr<MessageService> fallback = std::make_unique<LoggedMessageService>();
};

Services& services() {
    static Services instance;
    return instance;
}

}  // namespace

MessageService& messageService() {
    Services& s = services();
    return s.chosen ? *s.chosen : *s.fallback;
}

std::unique_ptr<MessageService> setMessageService(std::unique_ptr<MessageService> service) {
    std::unique_ptr<MessageService> previous = std::move(services().chosen);
    services().chosen = std::move(service);
    return previous;
}

void setDefaultMessageService(std::unique_ptr<MessageService> service) {
    services().fallback = service ? std::move(service) : std::make_unique<LoggedMessageService>();
}

void showWarning(const QString& text, const QString& title, QObject* parent) {
    MessageBoxSpec box;
    box.text = text;
    box.title = title;
    box.icon = MessageBoxSpec::Icon::Warning;
    box.buttons = MessageBoxSpec::Buttons::Ok;
    messageService().show(box, parent);
}

bool askYesNo(const QString& text, QObject* parent) {
    MessageBoxSpec question;
    question.text = text;
    question.title = QStringLiteral("提示");
    question.icon = MessageBoxSpec::Icon::Warning;
    question.buttons = MessageBoxSpec::Buttons::YesNo;
    question.defaultNo = true;
    return messageService().show(question, parent) == MessageAnswer::Yes;
}

MessageAnswer ScriptedMessageService::show(const MessageBoxSpec& spec, QObject*) {
    m_shown << spec;
    if (!m_answers.isEmpty()) return m_answers.takeFirst();
    return spec.buttons == MessageBoxSpec::Buttons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

}  // namespace kx
