// The update prompts of the command line: every question answered from the command's options, and what
// a user would have seen printed on standard error.
#pragma once

#include <QStringList>

#include "kxview/updateprompts.h"

namespace kxupdate {

/// How the headless run answers.
struct Answers {
    /// Go on with an offered quota library; replace existing files when extracting.
    bool yes = false;
    /// Tick every offered price file.
    bool allPriceFiles = false;
    /// Price files to tick, by file name ("x.QTJG") or title ("x").
    QStringList priceFiles;
};

/// Answers the update procedures from Answers and prints the status lines, offers and messages.
class HeadlessPrompts : public kx::UpdatePrompts {
public:
    explicit HeadlessPrompts(Answers answers) : m_answers(std::move(answers)) {}

    bool fetch(const kx::FetchRequest& request) override;
    bool confirmQuotaLibraryOffer(const kx::QuotaLibraryOffer& offer) override;
    QStringList choosePriceFiles(const kx::PriceSetOffer& offer) override;
    kx::ReplaceAnswer replaceExistingFile(const QString& path) override;
    void inform(const QString& text) override;
    void refused(const kx::UpdateRefusal& refusal) override;
    void installed(const QStringList& files) override;

    /// True once a price set's offer was shown (its catalogue arrived).
    bool sawPriceOffer() const { return m_sawPriceOffer; }
    /// The price files the answers ticked, by file name.
    const QStringList& chosenPriceFiles() const { return m_chosen; }
    /// The files the update installed (full paths).
    const QStringList& installedFiles() const { return m_installed; }
    /// Why things were refused, in order.
    const QStringList& refusals() const { return m_refusals; }

private:
    bool wanted(const kx::PriceFileEntry& entry) const;

    Answers m_answers;
    bool m_sawPriceOffer = false;
    QStringList m_chosen;
    QStringList m_installed;
    QStringList m_refusals;
};

}  // namespace kxupdate
