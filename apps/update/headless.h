// Dialog and message services that answer every question from the command line's options and report
// what a user would have seen on standard error.
#pragma once

#include <QSet>
#include <QStringList>

#include "core/services/messages.h"
#include "widgets/services/dialogs.h"

class QDialog;

namespace kxupdate {

/// How the headless run answers.
struct Answers {
    /// Go on in the information dialog; replace existing files when extracting; Yes to questions.
    bool yes = false;
    /// Tick every offered price file.
    bool allPriceFiles = false;
    /// Price files to tick, by file name ("x.QTJG") or title ("x").
    QStringList priceFiles;
};

/// Runs each dialog without a screen: the download dialog until it closes itself, the information
/// dialog and the price selection answered from Answers.
class HeadlessDialogs : public kx::DialogService {
public:
    explicit HeadlessDialogs(Answers answers) : m_answers(std::move(answers)) {}
    int exec(QDialog& dialog) override;

private:
    void followDownload(QDialog& dialog);
    void answerInformation(QDialog& dialog);
    void answerPriceSelection(QDialog& dialog);

    Answers m_answers;
    QSet<QDialog*> m_followed;
};

/// Prints every message box to standard error and answers questions Yes only with --yes.
class HeadlessMessages : public kx::MessageService {
public:
    explicit HeadlessMessages(bool yes) : m_yes(yes) {}
    kx::MessageAnswer show(const kx::MessageBoxSpec& spec, QObject* parent) override;

private:
    bool m_yes;
};

}  // namespace kxupdate
