#include "scripted_ui.h"

namespace kxtest {

ScriptedUi::ScriptedUi() {
    auto ownedDialogs = std::make_unique<kx::ScriptedDialogService>();
    auto ownedMessages = std::make_unique<kx::ScriptedMessageService>();
    dialogs = ownedDialogs.get();
    messages = ownedMessages.get();
    kx::setDialogService(std::move(ownedDialogs));
    kx::setMessageService(std::move(ownedMessages));
}

ScriptedUi::~ScriptedUi() {
    kx::setDialogService(nullptr);
    kx::setMessageService(nullptr);
}

QStringList ScriptedUi::messageTexts() const {
    QStringList texts;
    for (const kx::MessageBoxSpec& box : messages->shown()) texts << box.text;
    return texts;
}

}  // namespace kxtest
