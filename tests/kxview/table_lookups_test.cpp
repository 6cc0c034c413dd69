// The fills' lookups from tables read whole give, cell by cell, what a statement per row gives: on tables
// with duplicate IDs, Nulls and missing rows, indexed or not, and after another writer changed the file.
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "core/data/table_lookups.h"
#include "core/db/dbengine.h"
#include "jet/database.h"
#include "jet/writer.h"

namespace {

using Rows = std::vector<jet::Row>;

jet::Value num(int64_t n) {
    return jet::Value(n);
}
jet::Value price(double p) {
    return jet::Value(p);
}
jet::Value text(const char* s) {
    return jet::Value(std::string(s));
}

/// Prices by material ID: duplicates in an order no index keeps (7 three times, cheapest in the middle),
/// Null IDs and Null prices, gaps between IDs, a negative ID and a zero.
Rows priceRows() {
    const jet::Value null;
    return {
        {num(3), price(30), text("a")}, {num(7), price(71), text("b")},  {null, price(99), text("c")},
        {num(1), null, text("d")},      {num(7), price(70), text("e")},  {num(12), price(120), null},
        {num(7), price(72), text("f")}, {num(-4), price(40), text("g")}, {num(0), price(5), text("h")},
        {num(3), price(31), text("i")}, {num(20), null, null},
    };
}

/// The same rows with the ID stored as text, as some price files keep it.
Rows withTextIds(Rows rows) {
    for (jet::Row& row : rows)
        if (const auto* n = std::get_if<int64_t>(&row[0])) row[0] = jet::Value(std::to_string(*n));
    return rows;
}

/// The same rows with the ID stored as a double.
Rows withDoubleIds(Rows rows) {
    for (jet::Row& row : rows)
        if (const auto* n = std::get_if<int64_t>(&row[0])) row[0] = jet::Value(static_cast<double>(*n));
    return rows;
}

using Answer = std::optional<QString>;

/// An index of table Price on `columns`, ascending unless `ascending` says otherwise.
jet::IndexSpec index(const char* name, std::vector<std::string> columns, std::vector<bool> ascending = {}) {
    jet::IndexSpec spec;
    spec.name = name;
    spec.columns = std::move(columns);
    spec.ascending = std::move(ascending);
    return spec;
}

struct Layout {
    jet::ColumnType idType;
    std::vector<jet::IndexSpec> indexes;
};

/// A price file holding table Price (MateID, Price, Note) laid out as `layout` says.
void makePriceFile(const QString& path, const Layout& layout, const Rows& rows) {
    QFile::remove(path);
    QVERIFY(jet::createDatabase(path.toStdString()).ok());
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(path.toStdString(), options);
    QVERIFY(db.ok());
    jet::TableSpec spec;
    spec.name = "Price";
    const uint16_t idSize = layout.idType == jet::ColumnType::Text ? 20 : 0;
    spec.columns = {{"MateID", layout.idType, idSize},
                    {"Price", jet::ColumnType::Double, 0},
                    {"Note", jet::ColumnType::Text, 50}};
    spec.indexes = layout.indexes;
    const jet::Status s = jet::createTable(**db, spec, rows);
    QVERIFY2(s.ok(), s.toString().c_str());
}

/// What the statement per row gives: the first row's field as text, or nothing when no row matches.
Answer statementAnswer(kx::Database& db, const QString& constant, const QString& field) {
    auto rs = db.OpenRecordset(QStringLiteral("SELECT * FROM Price WHERE MateID=") + constant);
    if (rs->RecordCount() == 0) return std::nullopt;
    return rs->Text(field);
}

/// The same as the record holds it.
std::optional<jet::Value> statementValue(kx::Database& db, const QString& constant, const QString& field) {
    auto rs = db.OpenRecordset(QStringLiteral("SELECT * FROM Price WHERE MateID=") + constant);
    if (rs->RecordCount() == 0) return std::nullopt;
    return rs->RawValue(field);
}

/// The constants the fills put into their statements: every ID around the stored ones.
QStringList idConstants() {
    QStringList ids;
    for (int id = -6; id <= 22; ++id) ids << QString::number(id);
    return ids;
}

}  // namespace

Q_DECLARE_METATYPE(Layout)
Q_DECLARE_METATYPE(Rows)

class TableLookupsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void everyCellAsTheStatementGivesIt_data() {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<Rows>("rows");
        const Rows rows = priceRows();
        QTest::newRow("no index: rows in the order they are stored")
            << Layout{jet::ColumnType::Long, {}} << rows;
        QTest::newRow("index on the ID")
            << Layout{jet::ColumnType::Long, {index("MateID", {"MateID"})}} << rows;
        QTest::newRow("index on the ID descending, then the price descending")
            << Layout{jet::ColumnType::Long, {index("ByPrice", {"MateID", "Price"}, {false, false})}} << rows;
        QTest::newRow("index on the ID, then the note")
            << Layout{jet::ColumnType::Long, {index("ByNote", {"MateID", "Note"})}} << rows;
        QTest::newRow("ID stored as text, indexed")
            << Layout{jet::ColumnType::Text, {index("MateID", {"MateID"})}} << withTextIds(rows);
        QTest::newRow("ID stored as text, no index")
            << Layout{jet::ColumnType::Text, {}} << withTextIds(rows);
        QTest::newRow("ID stored as a double")
            << Layout{jet::ColumnType::Double, {index("MateID", {"MateID"})}} << withDoubleIds(rows);
        QTest::newRow("empty table") << Layout{jet::ColumnType::Long, {index("MateID", {"MateID"})}}
                                     << Rows{};
    }
    void everyCellAsTheStatementGivesIt() {
        QFETCH(Layout, layout);
        QFETCH(Rows, rows);
        const QString path = m_dir.filePath(QStringLiteral("prices.mdb"));
        makePriceFile(path, layout, rows);
        if (QTest::currentTestFailed()) return;
        auto db = kx::openDatabase(path);
        kx::TableLookups lookups;
        const kx::HeldReads oneState(*db);
        auto fill = lookups.begin(*db, QStringLiteral("Price"), QStringLiteral("MateID"));
        QVERIFY(fill.readsKeptRows());
        for (const QString& id : idConstants()) {
            for (const QString& field :
                 {QStringLiteral("Price"), QStringLiteral("note"), QStringLiteral("MateID")}) {
                QCOMPARE(fill.firstText(id, field), statementAnswer(*db, id, field));
                QVERIFY(fill.firstValue(id.toInt(), field) == statementValue(*db, id, field));
            }
            QCOMPARE(fill.any(id), statementAnswer(*db, id, QStringLiteral("Price")).has_value());
        }
    }

    void constantsOtherThanPlainIdsAreLeftToTheStatement_data() {
        QTest::addColumn<QString>("constant");
        QTest::addColumn<bool>("statementFails");
        QTest::newRow("leading zeros") << "007" << false;
        QTest::newRow("a fraction") << "7.0" << false;
        QTest::newRow("beyond 32 bits") << "4294967303" << false;
        QTest::newRow("an expression") << "3 OR 1=1" << false;
        QTest::newRow("empty (a Null ID's text)") << "" << true;
        QTest::newRow("text that breaks the statement") << "7'" << true;
    }
    void constantsOtherThanPlainIdsAreLeftToTheStatement() {
        QFETCH(QString, constant);
        QFETCH(bool, statementFails);
        const QString path = m_dir.filePath(QStringLiteral("prices.mdb"));
        makePriceFile(path, Layout{jet::ColumnType::Long, {index("MateID", {"MateID"})}}, priceRows());
        auto db = kx::openDatabase(path);
        kx::TableLookups lookups;
        auto fill = lookups.begin(*db, QStringLiteral("Price"), QStringLiteral("MateID"));
        if (statementFails) {
            QVERIFY_THROWS_EXCEPTION(kx::DbError, fill.any(constant));
            QVERIFY_THROWS_EXCEPTION(kx::DbError, fill.firstText(constant, QStringLiteral("Price")));
        } else {
            QCOMPARE(fill.firstText(constant, QStringLiteral("Price")),
                     statementAnswer(*db, constant, QStringLiteral("Price")));
        }
    }

    void whatTheStatementRefusesIsRefusedAlike() {
        const QString path = m_dir.filePath(QStringLiteral("prices.mdb"));
        makePriceFile(path, Layout{jet::ColumnType::Long, {}}, priceRows());
        auto db = kx::openDatabase(path);
        kx::TableLookups lookups;
        // A missing table or ID field: the first lookup fails as its statement does.
        auto noTable = lookups.begin(*db, QStringLiteral("DMPrice"), QStringLiteral("DMID"));
        QVERIFY(!noTable.readsKeptRows());
        QVERIFY_THROWS_EXCEPTION(kx::DbError, noTable.any(QStringLiteral("3")));
        auto noField = lookups.begin(*db, QStringLiteral("Price"), QStringLiteral("DMID"));
        QVERIFY_THROWS_EXCEPTION(kx::DbError,
                                 noField.firstText(QStringLiteral("3"), QStringLiteral("Price")));
        // A missing value field fails only where a row is found, as reading the record's field does.
        auto prices = lookups.begin(*db, QStringLiteral("Price"), QStringLiteral("MateID"));
        QCOMPARE(prices.firstText(QStringLiteral("5"), QStringLiteral("CorePrice")), Answer());
        QVERIFY_THROWS_EXCEPTION(kx::DbError,
                                 prices.firstText(QStringLiteral("3"), QStringLiteral("CorePrice")));
        QVERIFY(!prices.firstValue(5, QStringLiteral("CorePrice")));
        QVERIFY_THROWS_EXCEPTION(kx::DbError, prices.firstValue(3, QStringLiteral("CorePrice")));
        QVERIFY_THROWS_EXCEPTION(kx::DbError, noTable.firstValue(3, QStringLiteral("Price")));
    }

    void aChangeToTheFileIsSeenAtTheNextFill() {
        const QString path = m_dir.filePath(QStringLiteral("prices.mdb"));
        makePriceFile(path, Layout{jet::ColumnType::Long, {index("MateID", {"MateID"})}}, priceRows());
        kx::TableLookups lookups;
        auto price = [&](const QString& id) {
            auto db = kx::openDatabase(path);
            const kx::HeldReads oneState(*db);
            return lookups.begin(*db, QStringLiteral("Price"), QStringLiteral("MateID"))
                .firstText(id, QStringLiteral("Price"));
        };
        QCOMPARE(price(QStringLiteral("12")), Answer(QStringLiteral("120")));
        QCOMPARE(price(QStringLiteral("12")), Answer(QStringLiteral("120")));
        // Two commits by another connection, each followed by a fill: no change may be missed, however
        // quickly they follow each other.
        auto writer = kx::openDatabase(path);
        QCOMPARE(writer->Execute(QStringLiteral("UPDATE Price SET Price=121 WHERE MateID=12")), 1);
        QCOMPARE(price(QStringLiteral("12")), Answer(QStringLiteral("121")));
        QCOMPARE(writer->Execute(QStringLiteral("DELETE FROM Price WHERE MateID=12")), 1);
        QCOMPARE(price(QStringLiteral("12")), Answer());
        QCOMPARE(writer->Execute(QStringLiteral("UPDATE Price SET MateID=12 WHERE MateID=20")), 1);
        QCOMPARE(price(QStringLiteral("12")), Answer(QString()));
    }

    void switchedOffEveryLookupRunsItsStatement() {
        const QString path = m_dir.filePath(QStringLiteral("prices.mdb"));
        makePriceFile(path, Layout{jet::ColumnType::Long, {}}, priceRows());
        auto db = kx::openDatabase(path);
        kx::TableLookups lookups;
        lookups.setReadsWholeTables(false);
        auto fill = lookups.begin(*db, QStringLiteral("Price"), QStringLiteral("MateID"));
        QVERIFY(!fill.readsKeptRows());
        QCOMPARE(fill.firstText(QStringLiteral("7"), QStringLiteral("Price")), Answer(QStringLiteral("71")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TableLookupsTest)
#include "table_lookups_test.moc"
