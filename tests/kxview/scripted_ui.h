// Dialogs and message boxes answered by script while a test runs.
#pragma once

#include <QStringList>

#include "core/services/messages.h"
#include "update_support.h"
#include "widgets/services/dialogs.h"

namespace kxtest {

/// Installs scripted dialog and message services for the life of a test and restores the real ones.
struct ScriptedUi {
    ScriptedUi();
    ~ScriptedUi();
    kx::ScriptedDialogService* dialogs;
    kx::ScriptedMessageService* messages;
    /// The texts of the message boxes shown so far.
    QStringList messageTexts() const;
};

}  // namespace kxtest
