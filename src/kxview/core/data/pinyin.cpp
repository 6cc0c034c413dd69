#include "core/data/pinyin.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>

#include <fcntl.h>
#include <pinyin.h>
#include <unistd.h>

#include "core/services/logging.h"

namespace kx {
namespace {

/// libpinyin's tables of single characters: GB2312 (with its phrases) and the rest of GBK.
constexpr guint kCharacterTables[] = {1, 2};
constexpr int kMaxReadingQuery = 63;  // query positions are the bits of one 64-bit word

/// Keeps the process's standard error closed while it lives: libpinyin prints a line there when it finds
/// no user configuration, which this read-only use never has, and a host's error output is not ours to
/// fill. Only libpinyin's short initialisation runs under it.
class StandardErrorHeld {
public:
    StandardErrorHeld() : m_saved(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        const int null = open("/dev/null", O_WRONLY);
        if (m_saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~StandardErrorHeld() {
        if (m_saved < 0) return;
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    StandardErrorHeld(const StandardErrorHeld&) = delete;
    StandardErrorHeld& operator=(const StandardErrorHeld&) = delete;

private:
    int m_saved;
};

/// Opens libpinyin's tables in `dataDir` for reading.
pinyin_context_t* openTables(const QString& dataDir) {
    const StandardErrorHeld quiet;
    return pinyin_init(QFile::encodeName(dataDir).constData(), nullptr);
}

/// A reading as libpinyin spells it, toneless and lower case with ü as v; empty when it is none.
std::string normalizedReading(const char* pinyin) {
    std::string out;
    for (const QChar c : QString::fromUtf8(pinyin)) {
        if (c == QChar(0x00FC) || c == QChar(0x00DC)) {
            out += 'v';
        } else if (c.isLetter() && c.unicode() < 0x80) {
            out += static_cast<char>(c.toLower().unicode());
        }
    }
    return out;
}

/// Every reading of every single character libpinyin's tables in `dataDir` hold.
std::map<char16_t, std::vector<std::string>> readCharacterTables(const QString& dataDir) {
    std::map<char16_t, std::vector<std::string>> readings;
    pinyin_context_t* context = openTables(dataDir);
    if (context == nullptr) return readings;
    for (const guint table : kCharacterTables) {
        export_iterator_t* it = pinyin_begin_get_phrases(context, table);
        while (it != nullptr && pinyin_iterator_has_next_phrase(it)) {
            gchar* phrase = nullptr;
            gchar* pinyin = nullptr;
            gint count = 0;
            if (!pinyin_iterator_get_next_phrase(it, &phrase, &pinyin, &count)) break;
            const QString text = QString::fromUtf8(phrase);
            const std::string reading = normalizedReading(pinyin);
            if (text.size() == 1 && !reading.empty()) {
                std::vector<std::string>& list = readings[text.at(0).unicode()];
                if (std::find(list.begin(), list.end(), reading) == list.end()) list.push_back(reading);
            }
            g_free(phrase);
            g_free(pinyin);
        }
        if (it != nullptr) pinyin_end_get_phrases(it);
    }
    pinyin_fini(context);
    return readings;
}

QString defaultDataDir() {
    const QString fromEnvironment = qEnvironmentVariable("KXVIEW_PINYIN_DATA");
    return fromEnvironment.isEmpty() ? QStringLiteral(KXVIEW_PINYIN_DATA_DIR) : fromEnvironment;
}

/// The bit of a lower-case letter (bit 0 for 'a'); 0 for any other character.
uint32_t letterBit(char16_t c) {
    return c >= u'a' && c <= u'z' ? uint32_t(1) << (c - u'a') : 0;
}

}  // namespace

uint64_t characterBit(char16_t folded) {
    if (folded >= u'a' && folded <= u'z') return uint64_t(1) << (folded - u'a');
    if (folded >= u'0' && folded <= u'9') return uint64_t(1) << (26 + folded - u'0');
    // Everything else shares the remaining 28 bits.
    return uint64_t(1) << (36 + folded % 28);
}

PinyinReadings::PinyinReadings()
    : m_setOfChar(0x10000, 0), m_sets(1), m_initials(1, 0), m_letters(1, 0), m_packedStart{0, 0} {}

void PinyinReadings::addSet(std::vector<std::string> readings) {
    uint32_t initials = 0, letters = 0;
    for (const std::string& r : readings) {
        initials |= letterBit(static_cast<char16_t>(r.front()));
        for (const char c : r) letters |= letterBit(static_cast<char16_t>(c));
    }
    for (const std::string& r : readings) {
        PackedReading packed{};
        packed.length = static_cast<uint8_t>(std::min(r.size(), sizeof packed.letters));
        std::copy_n(r.begin(), packed.length, packed.letters);
        m_packed.push_back(packed);
    }
    m_packedStart.push_back(static_cast<uint32_t>(m_packed.size()));
    m_sets.push_back(std::move(readings));
    m_initials.push_back(initials);
    m_letters.push_back(letters);
}

PinyinReadings PinyinReadings::load(const QString& dataDir) {
    PinyinReadings table;
    // libpinyin aborts on a folder without its tables instead of failing, so they are checked first.
    if (!QFileInfo(QDir(dataDir).filePath(QStringLiteral("table.conf"))).isFile()) {
        qCWarning(lcKxView) << "no pinyin tables in" << dataDir << "- pinyin find matches literally only";
        return table;
    }
    std::map<std::vector<std::string>, uint16_t> setIds;
    for (auto& [c, readings] : readCharacterTables(dataDir)) {
        std::sort(readings.begin(), readings.end());
        auto [it, added] = setIds.try_emplace(readings, static_cast<uint16_t>(table.m_sets.size()));
        if (added) table.addSet(readings);
        table.m_setOfChar[c] = it->second;
    }
    qCDebug(lcKxView) << "pinyin readings of" << setIds.size() << "reading sets loaded from" << dataDir;
    return table;
}

const PinyinReadings& PinyinReadings::shared() {
    static const PinyinReadings table = load(defaultDataDir());
    return table;
}

void appendPrepared(QStringView text, const PinyinReadings* readings, std::vector<PreparedChar>& out) {
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        out.push_back({static_cast<char16_t>(c.toCaseFolded().unicode()),
                       readings != nullptr ? readings->setOf(unit) : uint16_t(0)});
    }
}

TextSummary summaryOf(const PreparedChar* chars, int count, const PinyinReadings* readings) {
    TextSummary summary;
    for (int i = 0; i < count; ++i) {
        summary.literal |= characterBit(chars[i].folded);
        if (readings == nullptr || chars[i].readings == 0) continue;
        summary.initials |= readings->initials(chars[i].readings);
        summary.readingLetters |= readings->letters(chars[i].readings);
    }
    return summary;
}

std::vector<PreparedChar> prepareText(QStringView text, const PinyinReadings* readings) {
    std::vector<PreparedChar> out;
    out.reserve(static_cast<size_t>(text.size()));
    appendPrepared(text, readings, out);
    return out;
}

PinyinQuery::PinyinQuery(const QString& text, const PinyinReadings* readings)
    : m_folded(text.toCaseFolded()),
      m_readings(readings),
      m_byReadings(readings != nullptr && !readings->isEmpty() && m_folded.size() <= kMaxReadingQuery) {
    for (const QChar c : m_folded) {
        m_required |= characterBit(c.unicode());
        m_hasLetter = m_hasLetter || letterBit(c.unicode()) != 0;
        m_letters.push_back(letterBit(c.unicode()) != 0 ? static_cast<char>(c.unicode()) : '\0');
    }
    if (!m_folded.isEmpty()) m_firstLetter = letterBit(m_folded.front().unicode());
}

bool PinyinQuery::canStart(const PreparedChar& c) const {
    return c.folded == m_folded.front().unicode() ||
           (c.readings != 0 && (m_readings->initials(c.readings) & m_firstLetter) != 0);
}

uint64_t PinyinQuery::advance(uint64_t before, const PreparedChar& c) const {
    const int length = static_cast<int>(m_folded.size());
    const char16_t* q = reinterpret_cast<const char16_t*>(m_folded.utf16());
    const PackedReading* first = c.readings != 0 ? m_readings->packedBegin(c.readings) : nullptr;
    const PackedReading* last = c.readings != 0 ? m_readings->packedEnd(c.readings) : nullptr;
    uint64_t after = 0;
    for (uint64_t pending = before & ~(uint64_t(1) << length); pending != 0; pending &= pending - 1) {
        const int p = std::countr_zero(pending);
        if (q[p] == c.folded) after |= uint64_t(1) << (p + 1);
        for (const PackedReading* r = first; r != last; ++r) {
            // Any non-empty beginning of a reading: its initial, the whole syllable, or a part typed so far.
            const int room = std::min<int>(r->length, length - p);
            for (int k = 0; k < room && m_letters[static_cast<size_t>(p + k)] == r->letters[k]; ++k)
                after |= uint64_t(1) << (p + k + 1);
        }
    }
    return after;
}

bool PinyinQuery::matches(const PreparedChar* chars, int count) const {
    return find(chars, count).has_value();
}

std::optional<TextSpan> PinyinQuery::find(const PreparedChar* chars, int count) const {
    if (m_folded.isEmpty()) return TextSpan{0, 0};
    const int length = static_cast<int>(m_folded.size());
    if (!usesReadings()) {
        const auto* q = reinterpret_cast<const char16_t*>(m_folded.utf16());
        const PreparedChar* at = std::search(chars, chars + count, q, q + length,
                                             [](const PreparedChar& c, char16_t u) { return c.folded == u; });
        if (at == chars + count) return std::nullopt;
        const int start = static_cast<int>(at - chars);
        return TextSpan{start, start + length};
    }
    const uint64_t done = uint64_t(1) << length;
    uint64_t reach = 0;
    for (int i = 0; i < count; ++i) {
        // Nothing under way and nothing to begin here: most characters end the step at once.
        if (reach == 0 && !canStart(chars[i])) continue;
        reach = advance(reach | 1, chars[i]);
        if ((reach & done) == 0) continue;
        // The match ends after character i; its start is the nearest one from which it still gets there.
        for (int start = i; start >= 0; --start) {
            uint64_t from = 1;
            for (int j = start; j <= i && from != 0; ++j) from = advance(from, chars[j]);
            if (from & done) return TextSpan{start, i + 1};
        }
    }
    return std::nullopt;
}

}  // namespace kx
