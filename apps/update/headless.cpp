#include "headless.h"

#include <QElapsedTimer>
#include <cstdio>

namespace kxupdate {
namespace {

constexpr qint64 kProgressLineIntervalMs = 500;

void printLine(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

/// How the selection marks an entry: "[新]" for a file not installed, "*" for the red text of a new or
/// changed one.
QString markOf(const kx::PriceFileEntry& entry) {
    switch (entry.state) {
        case kx::PriceFileEntry::State::New:
            return QStringLiteral("[新]*");
        case kx::PriceFileEntry::State::Changed:
            return QStringLiteral("*");
        case kx::PriceFileEntry::State::Same:
        case kx::PriceFileEntry::State::Folder:
            break;
    }
    return {};
}

}  // namespace

bool HeadlessPrompts::fetch(const kx::FetchRequest& request) {
    QElapsedTimer sinceProgress;
    return kx::fetchWithoutWindow(request, [&sinceProgress](const QString& text, bool progress) {
        if (progress && sinceProgress.isValid() && sinceProgress.elapsed() < kProgressLineIntervalMs) return;
        if (progress) sinceProgress.start();
        printLine(text);
    });
}

bool HeadlessPrompts::confirmQuotaLibraryOffer(const kx::QuotaLibraryOffer& offer) {
    printLine(offer.headline());
    for (const kx::QuotaLibraryOffer::Change& line : offer.changes)
        printLine(QStringLiteral("  - ") + line.text);
    return m_answers.yes;
}

QStringList HeadlessPrompts::choosePriceFiles(const kx::PriceSetOffer& offer) {
    m_sawPriceOffer = true;
    m_chosen.clear();
    for (const kx::PriceFileEntry& entry : offer.entries) {
        printLine(QStringLiteral("  %1 %2 %3").arg(markOf(entry), -4).arg(entry.name, entry.fileName));
        if (wanted(entry)) m_chosen << entry.fileName;
    }
    return m_chosen;
}

bool HeadlessPrompts::wanted(const kx::PriceFileEntry& entry) const {
    if (!entry.isFile()) return false;
    const QString title = entry.fileName.section(QLatin1Char('.'), 0, 0);
    return m_answers.allPriceFiles || m_answers.priceFiles.contains(entry.fileName) ||
           m_answers.priceFiles.contains(title);
}

kx::ReplaceAnswer HeadlessPrompts::replaceExistingFile(const QString& path) {
    printLine(QStringLiteral("Overwrite %1? %2").arg(path, m_answers.yes ? "yes" : "no"));
    return m_answers.yes ? kx::ReplaceAnswer::Replace : kx::ReplaceAnswer::Keep;
}

void HeadlessPrompts::inform(const QString& text) {
    printLine(QStringLiteral("提示: ") + text);
}

void HeadlessPrompts::refused(const kx::UpdateRefusal& refusal) {
    m_refusals << refusal.text;
    printLine(QStringLiteral("拒绝: ") + refusal.text);
}

void HeadlessPrompts::installed(const QStringList& files) {
    m_installed << files;
    for (const QString& file : files) printLine(QStringLiteral("已安装: ") + file);
}

}  // namespace kxupdate
