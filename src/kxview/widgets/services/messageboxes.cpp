#include "widgets/services/messageboxes.h"

#include <QMessageBox>

#include "core/services/messages.h"

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
    MessageAnswer show(const MessageBoxSpec& spec, QObject* parent) override {
        QMessageBox box(toQtIcon(spec.icon), spec.title, spec.text, QMessageBox::NoButton,
                        qobject_cast<QWidget*>(parent));
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

}  // namespace

void useMessageBoxes() {
    static const bool installed = [] {
        setDefaultMessageService(std::make_unique<QtMessageService>());
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace kx
