// Catalogue tables on real Jet files written by this engine and read back by mdbtools: registering a
// folder's files, inserting an entry after another, marking missing files, writing out stored files.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/modpub_db.h"
#include "core/data/modpub_tree.h"
#include "jet/database.h"
#include "jet/writer.h"
#include "scripted_ui.h"
#include "widgets/controls/kxtree.h"

namespace {

/// A library file whose KeyInfo holds `name` as its 'Name' (none when `name` is null).
void makeLibrary(const QString& path, const QString& name) {
    QVERIFY(jet::createDatabase(QFile::encodeName(path).toStdString()).ok());
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(QFile::encodeName(path).toStdString(), options);
    QVERIFY(db.ok());
    jet::TableSpec spec;
    spec.name = "KeyInfo";
    spec.columns = {{"Code", jet::ColumnType::Text, 50}, {"WithCode", jet::ColumnType::Text, 255}};
    std::vector<jet::Row> rows{{jet::Value(std::string("Key")), jet::Value(std::string("K"))}};
    if (!name.isNull()) rows.push_back({jet::Value(std::string("Name")), jet::Value(name.toStdString())});
    QVERIFY(jet::createTable(**db, spec, rows).ok());
}

/// One catalogue row as text: "ID,ParentID,Name,OCode,WithFileName".
using Rows = QStringList;

/// A tree whose nodes are rows of a catalogue, recording the images it is given.
class RecordingTree : public kx::CatalogueTreeNodes {
public:
    RecordingTree(QList<qint16> ids, qint16 normalImage) : m_ids(std::move(ids)), m_normal(normalImage) {
        m_images.fill(-1, m_ids.size());
    }
    qint16 NodeCount() const override { return static_cast<qint16>(m_ids.size()); }
    qint16 NodeID(qint16 index) const override { return m_ids[index - 1]; }
    qint16 NodeImage() const override { return m_normal; }
    void SetNodeImages(qint16 index, qint16 image) override { m_images[index - 1] = image; }
    const QList<qint16>& images() const { return m_images; }

private:
    QList<qint16> m_ids;
    QList<qint16> m_images;
    qint16 m_normal;
};

}  // namespace

class CatalogueTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_app = kxtest::sampleApp() + "/";  // read only: changes go to copies in m_folder
        QVERIFY(QFileInfo(m_app).isDir());
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_folder = m_dir->path() + "/";
    }

    void syncRegistersNewFilesInListingOrderOnAnEmptyCatalogue() {
        copyTemplate("DEIndex.mdb");
        makeLibrary(m_folder + "b.QTDE", "乙定额");
        makeLibrary(m_folder + "A.QTDE", "甲定额");
        makeLibrary(m_folder + "m.QTCJ", "材料");
        modPub_DB::SyncIndexFiles("DEIndex.mdb", windows(m_folder), ".QTDE");
        // The first file becomes the first top-level entry, and so the parent of the next.
        const Rows expected{"1,0,甲定额,1,A.QTDE", "2,1,乙定额,2,b.QTDE"};
        QCOMPARE(kxtest::catalogueRows(m_folder + "DEIndex.mdb"), expected);
        QCOMPARE(kxtest::mdbtoolsCatalogueRows(m_folder + "DEIndex.mdb"),
                 (Rows{"1,0,甲定额,1,A.QTDE", "2,1,乙定额,2,b.QTDE"}));
    }

    void syncRenamesKnownFilesAddsNewOnesAndKeepsRemovedOnes() {
        copyTemplate("DEIndex.mdb");
        {
            auto db = modPub_DB::OpenDB(m_folder + "DEIndex.mdb");
            addEntry(*db, 0, "定额库", 3, QString());
            addEntry(*db, 1, "旧名称", 7, "A.QTDE");
            addEntry(*db, 1, "已删除", 5, "gone.QTDE");
            addEntry(*db, 0, "第二组", 2, QString());
            db->Close();
        }
        makeLibrary(m_folder + "A.QTDE", "新名称");
        makeLibrary(m_folder + "O'Neil.QTDE", "带撇号");
        modPub_DB::SyncIndexFiles("DEIndex.mdb", m_folder, ".QTDE");
        const Rows once{"1,0,定额库,3,", "2,1,新名称,7,A.QTDE", "3,1,已删除,5,gone.QTDE", "4,0,第二组,2,",
                        "5,1,带撇号,8,O'Neil.QTDE"};
        QCOMPARE(kxtest::catalogueRows(m_folder + "DEIndex.mdb"), once);
        modPub_DB::SyncIndexFiles("DEIndex.mdb", m_folder, ".QTDE");
        QCOMPARE(kxtest::catalogueRows(m_folder + "DEIndex.mdb"), once);
    }

    void syncStopsAtALibraryWithoutANameKeepingEarlierRows() {
        copyTemplate("DEIndex.mdb");
        makeLibrary(m_folder + "1.QTDE", "第一");
        makeLibrary(m_folder + "2.QTDE", QString());
        makeLibrary(m_folder + "3.QTDE", "第三");
        QVERIFY_THROWS_EXCEPTION(kx::DbError, modPub_DB::SyncIndexFiles("DEIndex.mdb", m_folder, ".QTDE"));
        QCOMPARE(kxtest::catalogueRows(m_folder + "DEIndex.mdb"), Rows{"1,0,第一,1,1.QTDE"});
        QVERIFY_THROWS_EXCEPTION(kx::DbError, modPub_DB::SyncIndexFiles("Missing.mdb", m_folder, ".QTDE"));
    }

    void insertAfterAReferenceEntry_data() {
        QTest::addColumn<int>("reference");  // OCode of the reference entry
        QTest::addColumn<Rows>("expected");
        QTest::newRow("in the middle") << 2
                                       << Rows{"1,0,北京,1,", "2,1,一月,2,1.QTJG", "3,1,二月,4,2.QTJG",
                                               "4,0,上海,5,", "5,1,新价格,3,新.QTJG"};
        QTest::newRow("after the last") << 4
                                        << Rows{"1,0,北京,1,", "2,1,一月,2,1.QTJG", "3,1,二月,3,2.QTJG",
                                                "4,0,上海,4,", "5,1,新价格,5,新.QTJG"};
    }
    void insertAfterAReferenceEntry() {
        QFETCH(int, reference);
        QFETCH(Rows, expected);
        copyTemplate("MatePriceIndex.mdb");
        auto db = modPub_DB::OpenDB(m_folder + "MatePriceIndex.mdb");
        addEntry(*db, 0, "北京", 1, QString());
        addEntry(*db, 1, "一月", 2, "1.QTJG");
        addEntry(*db, 1, "二月", 3, "2.QTJG");
        addEntry(*db, 0, "上海", 4, QString());
        addEntry(*db, 0, "新价格", 0, QString());  // as the tree's add-node leaves it
        modPub_DB::InsertIndexAfter(*db, static_cast<qint16>(reference), 1, 5, "新.QTJG");
        db->Close();
        QCOMPARE(kxtest::catalogueRows(m_folder + "MatePriceIndex.mdb"), expected);
        QCOMPARE(kxtest::mdbtoolsCatalogueRows(m_folder + "MatePriceIndex.mdb"), expected);
    }

    void markUninstalledNodesSetsImagesOfFileEntriesOnly() {
        const QString folder = m_app + "造价资料/定额库/";
        const QList<qint16> ids{1, 5, 6,
                                7, 8, 99};  // group, installed, installed, not installed, installed, no row
        RecordingTree tree(ids, 12);
        modPub_Tree::MarkUninstalledNodes(windows(folder), "DEIndex.mdb", tree);
        QCOMPARE(tree.images(), (QList<qint16>{-1, 12, 12, modPub_Tree::kNotInstalledImage, 12, -1}));
        RecordingTree empty({}, 12);
        modPub_Tree::MarkUninstalledNodes(folder, "DEIndex.mdb", empty);
    }

    // The tree control itself: the not-installed library gets image 18, the others keep the tree's image.
    void markUninstalledNodesOnTheTreeControl() {
        const QString folder = m_app + "造价资料/定额库/";
        kx::KXTree tree;
        tree.setNodeImage(3);
        tree.LoadTree(folder + "DEIndex.mdb", "Index");
        modPub_Tree::MarkUninstalledNodes(windows(folder), "DEIndex.mdb", tree);
        QList<qint16> notInstalled;
        for (qint16 k = 1; k <= tree.NodeCount(); ++k) {
            kx::KXTree::Node node = tree.NodeAt(k);
            QCOMPARE(node.SelectedImage(), node.Image());
            if (node.Image() == modPub_Tree::kNotInstalledImage)
                notInstalled << tree.NodeID(k);
            else
                QCOMPARE(node.Image(), qint16(3));
        }
        QCOMPARE(notInstalled, QList<qint16>{7});
    }

    void exportWithDataWritesStoredFiles_data() {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("overwriteWithoutAsking");
        QTest::addColumn<int>("answer");  // kx::MessageAnswer to the overwrite question
        QTest::addColumn<bool>("emptyAfterwards");
        QTest::addColumn<bool>("replaced");
        using A = kx::MessageAnswer;
        QTest::newRow("new file, table emptied") << false << false << int(A::No) << true << true;
        QTest::newRow("existing, user says no") << true << false << int(A::No) << true << false;
        QTest::newRow("existing, user says yes") << true << false << int(A::Yes) << false << true;
        QTest::newRow("existing, without asking") << true << true << int(A::No) << false << true;
    }
    void exportWithDataWritesStoredFiles() {
        QFETCH(bool, existing);
        QFETCH(bool, overwriteWithoutAsking);
        QFETCH(int, answer);
        QFETCH(bool, emptyAfterwards);
        QFETCH(bool, replaced);
        const QString library = m_folder + "材料库.QTCJ";
        QVERIFY(QFile::copy(m_app + "造价资料/材料库/建设工程材料库.QTCJ", library));
        const QByteArray stored = storedFile(library, "2018年基期价格.QTJG");
        QVERIFY(stored.size() > 1000);
        {
            auto db = modPub_DB::OpenDB(library);
            auto rs = db->OpenRecordset("WithData");
            rs->AddNew();
            rs->SetValue("Name", "..\\逃逸.QTJG");
            rs->SetValue("WithData", QByteArray("evil"));
            rs->Update();
            db->Close();
        }
        const QString target = m_folder + "价格/";
        QDir().mkpath(target);
        if (existing) kxtest::writeBytes(target + "2018年基期价格.QTJG", "old");
        kxtest::ScriptedUi ui;
        ui.messages->queueAnswer(kx::MessageAnswer(answer));
        modPub_DB::ExportWithData(windows(target), library, emptyAfterwards, overwriteWithoutAsking);
        QCOMPARE(kxtest::readBytes(target + "2018年基期价格.QTJG"), replaced ? stored : QByteArray("old"));
        QCOMPARE(QDir(target).entryList(QDir::Files), QStringList{"2018年基期价格.QTJG"});
        QVERIFY(!QFile::exists(m_folder + "逃逸.QTJG"));
        const bool asked = existing && !overwriteWithoutAsking;
        QCOMPARE(ui.messages->shown().size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(ui.messages->shown().first().text,
                     QStringLiteral("导入的文件[2018年基期价格.QTJG]已经存在，是否覆盖！"));
            QCOMPARE(ui.messages->shown().first().title, QStringLiteral("提示"));
            QVERIFY(ui.messages->shown().first().defaultNo);
        }
        auto db = modPub_DB::OpenDB(library);
        QCOMPARE(db->OpenRecordset("SELECT * FROM WithData")->RecordCount() > 0, !emptyAfterwards);
    }

private:
    /// Windows spelling of a folder path, as the callers pass it.
    static QString windows(QString path) { return path.replace('/', '\\'); }

    void copyTemplate(const QString& name) {
        QVERIFY(QFile::copy(m_app + "System/" + name, m_folder + name));
        QFile::setPermissions(m_folder + name, QFile::ReadOwner | QFile::WriteOwner);
    }

    static void addEntry(kx::Database& db, qint32 parent, const QString& name, qint32 order,
                         const QString& file) {
        auto rs = db.OpenRecordset("SELECT * FROM Index WHERE ID=0");
        rs->AddNew();
        rs->SetValue("ParentID", parent);
        rs->SetValue("Name", name);
        rs->SetValue("OCode", order);
        if (!file.isNull()) rs->SetValue("WithFileName", file);
        rs->Update();
    }

    static QByteArray storedFile(const QString& library, const QString& name) {
        auto db = modPub_DB::OpenDB(library);
        auto rs = db->OpenRecordset("SELECT * FROM WithData WHERE Name='" + name + "'");
        return rs->RecordCount() > 0 ? rs->Value("WithData").toByteArray() : QByteArray();
    }

    QString m_app;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

QTEST_MAIN(CatalogueTest)
#include "catalogue_test.moc"
