#include "core/services/messages.h"

#include <QMessageBox>

namespace kx {
namespace {

QMessageBox::Icon toQtIcon(MessageBoxSpec::Icon icon) {
    switch (icon) {
        case MessageBoxSpec::Icon::Information:
            return QMessageBox::Information;
        case MessageBoxSpec::Icon::Warning:
            return QMessageBox::Warning;
        case MessageBoxSpec::Icon::Question:
            return QMessageBox::Question;
        case MessageBoxSpec::Icon::Critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

/// Real message boxes.
class QtMessageService : public MessageService {
public:
    MessageAnswer show(const MessageBoxSpec& spec, QWidget* parent) override {
        QMessageBox box(toQtIcon(spec.icon), spec.title, spec.text, QMessageBox::NoButton, parent);
        if (spec.buttons == MessageBoxSpec::Buttons::Ok) {
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return MessageAnswer::Ok;
        }
        const bool withCancel = spec.buttons == MessageBoxSpec::Buttons::YesNoCancel;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No |
                               (withCancel ? QMessageBox::Cancel : QMessageBox::NoButton));
        box.setDefaultButton(spec.defaultNo ? QMessageBox::No : QMessageBox::Yes);
        switch (box.exec()) {
            case QMessageBox::Yes:
                return MessageAnswer::Yes;
            case QMessageBox::Cancel:
                return MessageAnswer::Cancel;
            default:
                return MessageAnswer::No;
        }
    }
};

std::unique_ptr<MessageService>& current() {
    static std::unique_ptr<MessageService> service = std::make_unique<QtMessageService>();
    return service;
}

}  // namespace

MessageService& messageService() {
    return *current();
}

std::unique_ptr<MessageService> setMessageService(std::unique_ptr<MessageService> service) {
    std::unique_ptr<MessageService> previous = std::move(current());
    current() = service ? std::move(service) : std::make_unique<QtMessageService>();
    return previous;
}

MessageAnswer ScriptedMessageService::show(const MessageBoxSpec& spec, QWidget*) {
    m_shown << spec;
    if (!m_answers.isEmpty()) return m_answers.takeFirst();
    return spec.buttons == MessageBoxSpec::Buttons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

}  // namespace kx
