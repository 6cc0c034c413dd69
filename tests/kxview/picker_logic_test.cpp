// The pickers' decisions without any widget: both pickers on a copy of the sample directory, their tree a
// list over the catalogue, their messages, file dialogs and downloads answered by script, the update
// service the sample's mirror on 127.0.0.1. Catalogue rows are read back through this engine and mdbtools,
// files on disk compared before and after. This test links the component's core only.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "core/data/modpub_db.h"
#include "core/data/modpub_tree.h"
#include "core/data/untrusted_names.h"
#include "core/pickers/library_paths.h"
#include "core/pickers/price_file_picker.h"
#include "core/pickers/quota_library_picker.h"
#include "core/services/filedialogs.h"
#include "core/services/messages.h"
#include "kxview/updates.h"
#include "publish/packages.h"
#include "sample/names.h"
#include "update_support.h"

namespace {

using Answer = kx::MessageAnswer;
using sample::names::kPickerCases;

/// A picker's tree as a plain list over the loaded Index table, in ID order: what the core needs of a
/// tree, without a widget.
class ListTree : public kx::CatalogueTree {
public:
    struct Node {
        qint16 id = 0;
        QString text;
        qint16 image = 0;
        bool expanded = false;
        bool hasFile = false;
    };

    QList<Node> nodes;
    int selected = -1;
    qint16 normalImage = 8;

    void LoadTree(const QString& dbFullName, const QString& table) override {
        m_file = dbFullName;
        m_table = table;
        nodes.clear();
        auto db = kx::openDatabase(dbFullName);
        for (auto rs = db->OpenRecordset("SELECT * FROM " + table + " ORDER BY ID"); !rs->isEOF();
             rs->MoveNext())
            nodes.append({static_cast<qint16>(rs->Value("ID").toInt()), rs->Text("Name"), normalImage, false,
                          !rs->Text("WithFileName").isEmpty()});
        db->Close();
        selected = indexOf(m_defaultId);
    }
    void setDefaultID(qint32 id) override { m_defaultId = id; }
    qint16 NodeCount() const override { return static_cast<qint16>(nodes.size()); }
    qint16 NodeID(qint16 index) const override { return nodes.at(index - 1).id; }
    qint16 NodeImage() const override { return normalImage; }
    void SetNodeImages(qint16 index, qint16 image) override { nodes[index - 1].image = image; }
    qint16 SelectedID() const override { return selected < 0 ? 0 : nodes.at(selected).id; }
    qint16 SelectedIndex() const override { return static_cast<qint16>(selected + 1); }
    QString NodeText(qint16 index) const override { return nodes.at(index - 1).text; }
    void setNodeExpanded(qint16 index, bool expanded) override { nodes[index - 1].expanded = expanded; }
    void AddNode(const QString& caption) override {
        auto db = kx::openDatabase(m_file);
        {
            auto rs = db->OpenRecordset("SELECT * FROM " + m_table + " WHERE ID=0");
            rs->AddNew();
            rs->SetValue("Name", caption);
            rs->SetValue("ParentID", 0);
            rs->Update();
        }
        const auto id =
            static_cast<qint16>(db->OpenRecordset("SELECT MAX(ID) AS M FROM " + m_table)->Value("M").toInt());
        db->Close();
        nodes.append({id, caption, normalImage, false, false});
        selected = static_cast<int>(nodes.size()) - 1;
    }
    void DeleteSelected() override {
        auto db = kx::openDatabase(m_file);
        db->Execute("DELETE FROM " + m_table + " WHERE ID=" + QString::number(SelectedID()));
        db->Close();
        nodes.removeAt(selected);
        selected = -1;
    }
    bool TestNode(qint16 id) const override { return indexOf(id) >= 0 && nodes.at(indexOf(id)).hasFile; }

    /// Selects the node whose caption is `text`; false when there is none.
    bool select(const QString& text) {
        for (int i = 0; i < nodes.size(); ++i) {
            if (nodes[i].text == text) selected = i;
        }
        return selected >= 0 && nodes[selected].text == text;
    }
    qint16 imageOf(const QString& text) const {
        for (const Node& n : nodes) {
            if (n.text == text) return n.image;
        }
        return -1;
    }

private:
    int indexOf(qint32 id) const {
        for (int i = 0; i < nodes.size(); ++i) {
            if (nodes[i].id == id) return i;
        }
        return -1;
    }
    QString m_file;
    QString m_table;
    qint32 m_defaultId = 0;
};

/// What a picker showed of the selected entry, each showing as "label|description".
class RecordingDisplay : public kx::PickerDisplay {
public:
    QStringList shown;
    void showEntryInfo(const QString& label, const QString& description) override {
        shown << label + QLatin1Char('|') + description;
    }
    QString last() const { return shown.value(shown.size() - 1); }
};

/// Downloads without a window; the offers are recorded and declined unless a test says otherwise.
class Downloads : public kx::UpdatePrompts {
public:
    QStringList fetched;
    std::optional<kx::PriceSetOffer> priceOffer;
    bool fetch(const kx::FetchRequest& request) override {
        fetched << request.url;
        return kx::fetchWithoutWindow(request, [](const QString&, bool) {});
    }
    bool confirmQuotaLibraryOffer(const kx::QuotaLibraryOffer&) override { return false; }
    QStringList choosePriceFiles(const kx::PriceSetOffer& offer) override {
        priceOffer = offer;
        return {};
    }
    kx::ReplaceAnswer replaceExistingFile(const QString&) override { return kx::ReplaceAnswer::Replace; }
    void inform(const QString& text) override { kx::showWarning(text, "提示"); }
};

}  // namespace

class PickerLogicTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_mirror = std::make_unique<kxtest::ServedMirror>();
        QVERIFY(m_mirror->ok());
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_app = m_dir->path() + "/app/";
        QVERIFY(kxtest::copySampleApp(m_app, {"UpdateService"}));
        m_prices = m_app + "造价资料/材料价格文件/" + sample::names::kMaterialKey + "/";
        m_quotas = m_app + "造价资料/定额库/";
        modUpdate::SetUpdateBaseAddress(m_mirror->server().base());
        modUpdate::SetSystemDirectory(m_dir->path() + "/sys/");
        auto messages = std::make_unique<kx::ScriptedMessageService>();
        m_messages = messages.get();
        kx::setMessageService(std::move(messages));
        auto files = std::make_unique<kx::ScriptedFileDialogService>();
        m_files = files.get();
        kx::setFileDialogService(std::move(files));
        m_tree = ListTree();
        m_display = RecordingDisplay();
        m_downloads.fetched.clear();
        m_downloads.priceOffer.reset();
    }

    void cleanup() {
        kx::setMessageService(nullptr);
        kx::setFileDialogService(nullptr);
    }

    // ---- The catalogue-name rule

    void catalogueNamesStayInTheirFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("a price file") << "北京2024年1月信息价.QTJG" << true;
        QTest::newRow("blanks and dots inside") << "a b.c.QTJG" << true;
        QTest::newRow("up a folder, Windows") << "..\\x.QTJG" << false;
        QTest::newRow("up a folder") << "../x.QTJG" << false;
        QTest::newRow("a sub-folder") << "sub\\x.QTJG" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("a drive") << "C:\\x.QTJG" << false;
        QTest::newRow("drive-relative") << "C:x.QTJG" << false;
        QTest::newRow("a stream") << "x.QTJG:hidden" << false;
        QTest::newRow("a device") << "CON.QTJG" << false;
        QTest::newRow("a device, lower case") << "nul" << false;
        QTest::newRow("COM9 with blanks") << "com9 .txt" << false;
        QTest::newRow("a device's longer name") << "CONSOLE.QTJG" << true;
        QTest::newRow("the folder itself") << "." << false;
        QTest::newRow("its parent") << ".." << false;
        QTest::newRow("dots and blanks") << ". ." << false;
        QTest::newRow("a wildcard") << "*.QTJG" << false;
        QTest::newRow("a control character") << "a\tb.QTJG" << false;
        QTest::newRow("empty") << "" << false;
    }
    void catalogueNamesStayInTheirFolder() {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        const kx::NameInFolder placed = kx::untrustedNameInFolder(m_prices, name);
        QCOMPARE(placed.accepted(), accepted);
        QCOMPARE(placed.path, accepted ? m_prices + name : QString());
        if (!accepted) QVERIFY(placed.refusal.contains("[" + name + "]"));
    }

    void aLinkLeadingOutOfTheFolderIsRefusedAndOneInsideIsNot() {
        QFile outside(m_dir->path() + "/secret.QTJG");
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.close();
        QVERIFY(QFile::link(outside.fileName(), m_prices + "link.QTJG"));
        QVERIFY(QFile::link(m_prices + "公司内部价格.QTJG", m_prices + "inside.QTJG"));
        QVERIFY(!kx::untrustedNameInFolder(m_prices, "link.QTJG").accepted());
        QVERIFY(kx::untrustedNameInFolder(m_prices, "inside.QTJG").accepted());
    }

    void priceFoldersAndRebasedPriceFiles_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("rebased");
        QTest::newRow("another key") << "K2"
                                     << "D:\\data\\材料价格文件\\K2\\"
                                     << "D:\\data\\材料价格文件\\K2\\A.QTJG";
        QTest::newRow("a key leading out") << "..\\..\\x"
                                           << ""
                                           << "";
        QTest::newRow("no key") << ""
                                << ""
                                << "";
    }
    void priceFoldersAndRebasedPriceFiles() {
        QFETCH(QString, key);
        QFETCH(QString, folder);
        QFETCH(QString, rebased);
        QCOMPARE(kx::priceFolderOf("D:\\data\\材料库\\lib.QTCJ", key).path, folder);
        QCOMPARE(kx::rebasedPriceFile("D:\\data\\材料价格文件\\K1\\A.QTJG", key).path, rebased);
    }

    // ---- The price-file picker

    void openingCopiesAMissingCatalogueFromItsTemplate() {
        const QString folder = m_app + "造价资料/材料价格文件/" + kPickerCases.secondMaterialKey + "/";
        QVERIFY(!QFile::exists(folder + "MatePriceIndex.mdb"));
        kx::PriceFilePicker picker = pricePicker(folder);
        picker.open();
        QCOMPARE(kxtest::readBytes(folder + "MatePriceIndex.mdb"),
                 kxtest::readBytes(m_app + "System/MatePriceIndex.mdb"));
        QCOMPARE(m_tree.NodeCount(), qint16(0));
        QCOMPARE(picker.state.UnloadState, 1);
        QCOMPARE(kxtest::mdbCount(folder + "MatePriceIndex.mdb", "Index"), qint64(0));
    }

    void openingFailsWhenTheTemplateIsMissingTooAndWritesNothing() {
        const QString folder = m_app + "造价资料/材料价格文件/" + kPickerCases.secondMaterialKey + "/";
        QVERIFY(QFile::remove(m_app + "System/MatePriceIndex.mdb"));
        const auto before = kxtest::snapshot(m_app);
        kx::PriceFilePicker picker = pricePicker(folder);
        QVERIFY_THROWS_EXCEPTION(kx::FileSystemError, picker.open());
        QCOMPARE(kxtest::snapshot(m_app), before);
    }

    void openingSelectsTheDefaultEntryAndExpandsTheFirstTwoNodes_data() {
        QTest::addColumn<QString>("defaultName");
        QTest::addColumn<qint16>("selectedId");
        QTest::newRow("a name in the catalogue") << "上海市2024年1月建设工程材料信息价" << qint16(6);
        QTest::newRow("no such name") << "没有这个名称" << qint16(0);
        QTest::newRow("a name that breaks SQL") << "O'Neil" << qint16(0);
        QTest::newRow("none") << "" << qint16(0);
    }
    void openingSelectsTheDefaultEntryAndExpandsTheFirstTwoNodes() {
        QFETCH(QString, defaultName);
        QFETCH(qint16, selectedId);
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.state.DefaultName = defaultName;
        picker.open();
        QCOMPARE(m_tree.SelectedID(), selectedId);
        QCOMPARE(m_tree.nodes.size(), 10);
        QList<bool> expanded;
        for (const ListTree::Node& n : m_tree.nodes) expanded << n.expanded;
        QCOMPARE(expanded.mid(0, 3), (QList<bool>{true, true, false}));
    }

    void aCatalogueOfTwoEntriesOpensWithoutExpanding() {
        const QString folder = m_app + "造价资料/材料库/";
        kx::PriceFilePicker picker = pricePicker(folder, "MateIndex.mdb", ".QTCJ");
        picker.open();
        QCOMPARE(m_tree.nodes.size(), 3);  // the group and both libraries
        {
            auto db = kx::openDatabase(folder + "MateIndex.mdb");
            db->Execute("DELETE FROM Index WHERE ID=3");
            db->Close();
        }
        picker.open();
        QCOMPARE(m_tree.nodes.size(), 2);
        QVERIFY(!m_tree.nodes[0].expanded && !m_tree.nodes[1].expanded);
    }

    void refreshShowsTheAuthorAndDescriptionOfAnInstalledFile() {
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        QVERIFY(m_tree.select("北京市2024年1月建设工程材料信息价"));
        picker.RefeshNodeInfo();
        QCOMPARE(m_display.shown.mid(m_display.shown.size() - 2),
                 (QStringList{"|",
                              "制作人：ADMIN  "
                              "创建日期：2024-01-15|<B>北京市2024年1月建设工程材料信息价</>，价格不含税。"}));
        QVERIFY(m_messages->shown().isEmpty());
        QVERIFY(m_tree.select("编制中的价格"));
        picker.RefeshNodeInfo();
        QCOMPARE(m_display.last(), QString("|"));
    }

    void aMissingFileIsOfferedForDownload_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("installed");
        QTest::newRow("declined") << int(Answer::No) << false;
        QTest::newRow("fetched from the mirror") << int(Answer::Yes) << true;
    }
    void aMissingFileIsOfferedForDownload() {
        QFETCH(int, answer);
        QFETCH(bool, installed);
        const QString file = m_prices + kPickerCases.missingPrice + ".QTJG";
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        const QString entry = "北京市2024年3月建设工程材料信息价";
        QVERIFY(m_tree.select(entry));
        m_tree.SetNodeImages(m_tree.SelectedIndex(), modPub_Tree::kNotInstalledImage);
        m_messages->queueAnswer(Answer(answer));
        picker.RefeshNodeInfo();
        QVERIFY(m_display.shown.contains("|价格文件尚未下载"));
        QCOMPARE(m_messages->shown().size(), 1);
        const kx::MessageBoxSpec question = m_messages->shown().first();
        QCOMPARE(question.text, QString("当前价格文件不存在，是否立即远程下载！"));
        QCOMPARE(question.title, QString("提示"));
        QVERIFY(question.buttons == kx::MessageBoxSpec::Buttons::YesNo && question.defaultNo);
        QCOMPARE(QFile::exists(file), installed);
        QCOMPARE(m_downloads.fetched.size(), installed ? 1 : 0);
        QCOMPARE(m_tree.imageOf(entry), installed ? qint16(8) : modPub_Tree::kNotInstalledImage);
        if (installed) QVERIFY(m_display.last().startsWith("制作人：ADMIN  创建日期：2024-03-15|"));
    }

    void anEntryNamingAPathOutsideTheFolderIsRefusedWithoutTouchingIt_data() {
        QTest::addColumn<QString>("withFileName");
        QTest::newRow("up a folder") << "..\\outside.QTJG";
        QTest::newRow("absolute") << QString();  // the absolute path of the outside file, made below
    }
    void anEntryNamingAPathOutsideTheFolderIsRefusedWithoutTouchingIt() {
        QFETCH(QString, withFileName);
        const QString outside = m_app + "造价资料/材料价格文件/outside.QTJG";
        QVERIFY(QFile::copy(m_prices + "公司内部价格.QTJG", outside));
        if (withFileName.isEmpty()) withFileName = outside;
        setFileName(m_prices + "MatePriceIndex.mdb", 10, withFileName);
        const auto before = kxtest::snapshot(m_app);
        const QStringList rows = kxtest::catalogueRows(m_prices + "MatePriceIndex.mdb");
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.state.UserName = "";
        picker.open();
        QVERIFY(m_tree.select("公司内部材料价格"));
        picker.RefeshNodeInfo();
        QVERIFY(m_display.last().contains("已拒绝使用"));
        QVERIFY(!picker.choose());
        m_messages->queueAnswer(Answer::Yes);
        picker.deleteSelected();
        QCOMPARE(messageTexts().size(), 2);
        for (const QString& text : messageTexts())
            QVERIFY2(text.contains("[" + withFileName + "]"), qPrintable(text));
        QCOMPARE(picker.state.UnloadState, 1);
        QVERIFY(m_downloads.fetched.isEmpty());
        QCOMPARE(kxtest::snapshot(m_app), before);
        QCOMPARE(kxtest::catalogueRows(m_prices + "MatePriceIndex.mdb"), rows);
    }

    void choosingTakesAnInstalledFileOnly_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("an installed file") << "上海市2024年1月建设工程材料信息价"
                                           << "上海2024年1月信息价.QTJG";
        QTest::newRow("a group") << "北京市"
                                 << "";
        QTest::newRow("an entry without a file") << "编制中的价格"
                                                 << "";
        QTest::newRow("a file not installed") << "北京市2024年3月建设工程材料信息价"
                                              << "";
        QTest::newRow("nothing selected") << ""
                                          << "";
    }
    void choosingTakesAnInstalledFileOnly() {
        QFETCH(QString, entry);
        QFETCH(QString, chosen);
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        m_tree.selected = -1;
        if (!entry.isEmpty()) QVERIFY(m_tree.select(entry));
        QCOMPARE(picker.choose(), !chosen.isEmpty());
        QCOMPARE(picker.state.UnloadState, chosen.isEmpty() ? 1 : 0);
        QCOMPARE(picker.state.OpenFileFullName, chosen.isEmpty() ? QString() : m_prices + chosen);
        if (chosen.isEmpty()) {
            QCOMPARE(messageTexts(), QStringList{"选择的列项无效!请重新选择!"});
            QCOMPARE(m_messages->shown().first().title, QString("友情提示"));
        }
    }

    void deletingChecksTheOwnerAndAsks_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("deleted");
        const QString question = "确信要删除价格文件[%1]!";
        const QString beijing = "北京市2024年1月建设工程材料信息价";
        QTest::newRow("the owner, in other letter case")
            << beijing << "admin" << int(Answer::Yes) << QStringList{question.arg(beijing)} << true;
        QTest::newRow("the owner says no")
            << beijing << "ADMIN" << int(Answer::No) << QStringList{question.arg(beijing)} << false;
        QTest::newRow("another user")
            << beijing << "张工" << int(Answer::Yes) << QStringList{"您没有权限删除当前价格！"} << false;
        QTest::newRow("no user name, an owner")
            << beijing << "" << int(Answer::Yes) << QStringList{"您没有权限删除当前价格！"} << false;
        QTest::newRow("no user name, no owner")
            << "公司内部材料价格"
            << "" << int(Answer::Yes) << QStringList{question.arg("公司内部材料价格")} << true;
        QTest::newRow("an entry without a file")
            << "编制中的价格"
            << "ADMIN" << int(Answer::Yes) << QStringList{"价格文件正在编辑，无法删除！"} << false;
        QTest::newRow("a file not installed: no question")
            << "北京市2024年3月建设工程材料信息价"
            << "张工" << int(Answer::Yes) << QStringList{} << true;
    }
    void deletingChecksTheOwnerAndAsks() {
        QFETCH(QString, entry);
        QFETCH(QString, userName);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(bool, deleted);
        const QString catalogue = m_prices + "MatePriceIndex.mdb";
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.state.UserName = userName;
        picker.open();
        QVERIFY(m_tree.select(entry));
        const qint16 id = m_tree.SelectedID();
        const QString file = fileNameOf(catalogue, id);
        const bool existed = QFile::exists(m_prices + file);
        const QStringList rows = kxtest::catalogueRows(catalogue);
        m_messages->queueAnswer(Answer(answer));
        picker.deleteSelected();
        QCOMPARE(messageTexts(), messages);
        QStringList expected = rows;
        if (deleted)
            expected.removeIf([&](const QString& row) { return row.startsWith(QString::number(id) + ","); });
        QCOMPARE(kxtest::catalogueRows(catalogue), expected);
        QCOMPARE(kxtest::mdbtoolsCatalogueRows(catalogue), expected);
        QCOMPARE(m_tree.nodes.size(), deleted ? 9 : 10);
        if (existed) QCOMPARE(QFile::exists(m_prices + file), !deleted);
    }

    void aFileThatCannotBeDeletedKeepsItsEntry_data() {
        QTest::addColumn<bool>("fileReadOnly");
        QTest::newRow("a read-only file") << true;
        QTest::newRow("a read-only catalogue") << false;
    }
    void aFileThatCannotBeDeletedKeepsItsEntry() {
        QFETCH(bool, fileReadOnly);
        const QString catalogue = m_prices + "MatePriceIndex.mdb";
        const QString file = m_prices + "北京2024年1月信息价.QTJG";
        QFile::setPermissions(fileReadOnly ? file : catalogue, QFile::ReadOwner | QFile::ReadGroup);
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.state.UserName = "ADMIN";
        picker.open();
        QVERIFY(m_tree.select("北京市2024年1月建设工程材料信息价"));
        const QStringList rows = kxtest::catalogueRows(catalogue);
        m_messages->queueAnswer(Answer::Yes);
        picker.deleteSelected();
        QCOMPARE(messageTexts().last(), QString("价格文件正在编辑，无法删除！"));
        QVERIFY(QFile::exists(file));
        QCOMPARE(kxtest::catalogueRows(catalogue), rows);
        QCOMPARE(m_tree.nodes.size(), 10);
    }

    void importingAPriceFileCataloguesItAfterTheSelectedEntry() {
        const QString catalogue = m_prices + "MatePriceIndex.mdb";
        const QString source = m_app + kPickerCases.exchangeDir + "/" + kPickerCases.colleaguePrice + ".QTJG";
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        QVERIFY(m_tree.select("北京市2024年1月建设工程材料信息价"));  // ID 4, OCode 4, under 1
        m_files->queueAnswer(source);
        QVERIFY(picker.CallOtherPriceFile());
        const kx::OpenFileSpec asked = m_files->shown().first();
        QCOMPARE(asked.title, QString("导入..."));
        QCOMPARE(asked.filter, QString("价格文件(*.QTJG)|*.QTJG"));
        QVERIFY(asked.fileName.isEmpty() && asked.hideReadOnly);
        const QString target = m_prices + kPickerCases.colleaguePrice + ".QTJG";
        QCOMPARE(picker.state.OpenFileFullName, target);
        QCOMPARE(picker.state.UnloadState, 0);
        QCOMPARE(kxtest::readBytes(target), kxtest::readBytes(source));
        const QStringList expected{"1,0,北京市,1,",
                                   "2,0,上海市,2,",
                                   "3,0,自定义价格,3,",
                                   "4,1,北京市2024年1月建设工程材料信息价,4,北京2024年1月信息价.QTJG",
                                   "5,1,北京市2024年2月建设工程材料信息价,6,北京2024年2月信息价.QTJG",
                                   "6,2,上海市2024年1月建设工程材料信息价,7,上海2024年1月信息价.QTJG",
                                   "7,3,某住宅项目材料询价,8,项目询价.QTJG",
                                   "8,3,编制中的价格,9,",
                                   "9,1,北京市2024年3月建设工程材料信息价,10,北京2024年3月信息价.QTJG",
                                   "10,3,公司内部材料价格,11,公司内部价格.QTJG",
                                   "11,1,同事提供的材料价格,5,同事的价格.QTJG"};
        QCOMPARE(kxtest::catalogueRows(catalogue), expected);
        QCOMPARE(kxtest::mdbtoolsCatalogueRows(catalogue), expected);
        QVERIFY(messageTexts().isEmpty());
    }

    void importingAFileOfTheFolderItselfCopiesNothingAndAsksNothing() {
        const QString file = m_prices + "项目询价.QTJG";
        const auto before = kxtest::snapshot(m_prices);
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        m_tree.selected = -1;  // no reference: nothing is catalogued either
        m_files->queueAnswer(file);
        QVERIFY(picker.CallOtherPriceFile());
        QCOMPARE(picker.state.OpenFileFullName, file);
        QVERIFY(messageTexts().isEmpty());
        QCOMPARE(kxtest::snapshot(m_prices), before);
    }

    void importingOverAnExistingFileAsksFirst_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("kept") << int(Answer::No);
        QTest::newRow("replaced") << int(Answer::Yes);
    }
    void importingOverAnExistingFileAsksFirst() {
        QFETCH(int, answer);
        const QString source = m_dir->path() + "/项目询价.QTJG";
        QVERIFY(QFile::copy(m_prices + "公司内部价格.QTJG", source));
        const QByteArray installed = kxtest::readBytes(m_prices + "项目询价.QTJG");
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        QVERIFY(m_tree.select("某住宅项目材料询价"));
        m_files->queueAnswer(source);
        m_messages->queueAnswer(Answer(answer));
        QCOMPARE(picker.CallOtherPriceFile(), answer == int(Answer::Yes));
        QCOMPARE(messageTexts(), QStringList{"导入的文件已经存在，是否覆盖！"});
        QCOMPARE(kxtest::readBytes(m_prices + "项目询价.QTJG"),
                 answer == int(Answer::Yes) ? kxtest::readBytes(source) : installed);
    }

    void anImportThatFailsEndsQuietlyAndChangesNothing_data() {
        QTest::addColumn<QString>("picked");
        QTest::newRow("the dialog cancelled") << "";
        QTest::newRow("a file that is no database") << "text";
        QTest::newRow("a database without KeyInfo") << "template";
    }
    void anImportThatFailsEndsQuietlyAndChangesNothing() {
        QFETCH(QString, picked);
        const QString source = m_dir->path() + "/坏的价格.QTJG";
        if (picked == "text")
            kxtest::writeBytes(source, QByteArray("这不是数据库，只是一段文字。").repeated(300));
        if (picked == "template") QVERIFY(QFile::copy(m_app + "System/WithDE.mdb", source));
        if (!picked.isEmpty()) m_files->queueAnswer(source);
        const auto before = kxtest::snapshot(m_app);
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.open();
        QVERIFY(m_tree.select("北京市"));
        QVERIFY(!picker.CallOtherPriceFile());
        QCOMPARE(picker.state.UnloadState, 1);
        QVERIFY(messageTexts().isEmpty());
        QCOMPARE(kxtest::snapshot(m_app), before);
        QCOMPARE(m_tree.nodes.size(), 10);
    }

    void importingAMaterialLibraryWritesItsStoredPriceFilesIntoANewPriceFolder() {
        const QString folder = m_app + "造价资料/材料库/";
        const QString source = m_app + kPickerCases.exchangeDir + "/" + kPickerCases.otherMaterial + ".QTCJ";
        const QByteArray original = kxtest::readBytes(source);
        kx::PriceFilePicker picker = pricePicker(folder, "MateIndex.mdb", ".QTCJ");
        picker.open();
        m_files->queueAnswer(source);
        QVERIFY(picker.CallOtherPriceFile());
        QCOMPARE(m_files->shown().first().filter, QString("材料库文件(*.QTCJ)|*.QTCJ"));
        const QString target = folder + kPickerCases.otherMaterial + ".QTCJ";
        QCOMPARE(picker.state.OpenFileFullName, target);
        const QString stored = m_app + "造价资料/材料价格文件/" + kPickerCases.otherMaterialKey + "/" +
                               kPickerCases.storedPrice + ".QTJG";
        QCOMPARE(kxtest::keyInfo(stored, "ShortName"), QString("外省价"));
        QCOMPARE(kxtest::tableRows(target, "WithData"), qint64(0));
        QCOMPARE(kxtest::mdbCount(target, "WithData"), qint64(0));
        QCOMPARE(kxtest::readBytes(source), original);
        QCOMPARE(kxtest::catalogueRows(folder + "MateIndex.mdb").size(), 3);  // a library is not catalogued
    }

    void browsingChoosesAnyFileWithoutCopyingIt() {
        const QString file = m_app + "用户数据/我的价格文件/我的价格.JG";
        const auto before = kxtest::snapshot(m_app);
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.state.CanOpenOther = true;
        picker.open();
        m_files->queueAnswer(std::nullopt);
        QVERIFY(!picker.importOrBrowse());
        m_files->queueAnswer(file);
        QVERIFY(picker.importOrBrowse());
        QCOMPARE(picker.state.OpenFileFullName, file);
        QCOMPARE(picker.state.UnloadState, 0);
        const kx::OpenFileSpec asked = m_files->shown().last();
        QCOMPARE(asked.title, QString("打开价格文件"));
        QCOMPARE(asked.fileName, m_app + "用户数据\\我的价格文件\\*.JG");
        QCOMPARE(asked.filter, QString("价格文件(*.QTJG;*.JG)|*.QTJG;*.JG"));
        QCOMPARE(kxtest::snapshot(m_app), before);
    }

    void theLastFolderNamesThePriceSet_data() {
        QTest::addColumn<QString>("priceDir");
        QTest::addColumn<QString>("name");
        QTest::newRow("a price folder") << "D:\\造价资料\\材料价格文件\\CJ2018\\"
                                        << "CJ2018";
        QTest::newRow("without its separator") << "D:\\x\\CJ2018"
                                               << "CJ2018";
        QTest::newRow("slashes") << "/srv/app/材料价格文件/K/"
                                 << "K";
        QTest::newRow("no separator") << "CJ2018"
                                      << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void theLastFolderNamesThePriceSet() {
        QFETCH(QString, priceDir);
        QFETCH(QString, name);
        kx::PriceFilePicker picker = pricePicker(priceDir);
        QCOMPARE(picker.GetLastDirName(), name);
    }

    void theUpdateOffersTheFolder_sSetWithItsDataFolder() {
        kx::PriceFilePicker picker = pricePicker(m_prices);
        picker.updateSet();
        QVERIFY(m_downloads.priceOffer.has_value());
        QCOMPARE(m_downloads.priceOffer->mateKey, QString(sample::names::kMaterialKey));
        QCOMPARE(m_downloads.priceOffer->dataPath, m_app + "造价资料/");
        QCOMPARE(messageTexts(), QStringList{"完成[ 0 ]个价格文件的更新"});
    }

    // ---- The quota-library picker

    void openingRegistersTheFolder_sLibrariesAndMarksTheMissingOne() {
        const QString catalogue = m_quotas + "DEIndex.mdb";
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.state.DefaultName = "2018年安装工程消耗量定额";
        picker.open();
        const QString added = QString("11,1,2018年园林绿化工程补充定额,11,") + kPickerCases.uncataloguedQuota;
        QCOMPARE(kxtest::catalogueRows(catalogue).last(), added);
        QCOMPARE(kxtest::mdbtoolsCatalogueRows(catalogue).last(), added);
        QCOMPARE(m_tree.NodeText(m_tree.SelectedIndex()), QString("2018年安装工程消耗量定额"));
        QCOMPARE(m_tree.imageOf("2018年市政工程消耗量定额"), modPub_Tree::kNotInstalledImage);
        QCOMPARE(m_tree.imageOf("2018年园林绿化工程补充定额"), qint16(8));
        QVERIFY(m_display.last().startsWith(
            "制作人：定额管理站  创建日期：2018-09-01|<B>2018年安装工程消耗量定额</>"));
        picker.open();  // registers nothing twice
        QCOMPARE(kxtest::catalogueRows(catalogue).size(), 11);
    }

    void aFolderWithoutItsCatalogueAndWithAnUnnamedLibraryFailsAfterTheFirst() {
        const QString folder = m_app + kPickerCases.companyQuotaDir + "/";
        kx::QuotaLibraryPicker picker = quotaPicker(folder);
        QVERIFY_THROWS_EXCEPTION(kx::DbError, picker.open());
        QCOMPARE(kxtest::catalogueRows(folder + "DEIndex.mdb"),
                 QStringList{QString("1,0,2023年企业定额,1,") + kPickerCases.companyQuota});
    }

    void aMissingLibraryIsMarkedWithoutAQuestion() {
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select("2018年市政工程消耗量定额"));
        picker.RefeshNodeInfo();
        QCOMPARE(m_display.last(), QString("|敬告:<B><C=12>对应定额库尚未安装!</>"));
        QVERIFY(m_messages->shown().isEmpty());
    }

    void choosingAnInstalledLibraryMakesItsRelatedQuotaFile_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("title");
        QTest::newRow("its file missing") << "2018年园林绿化工程补充定额"
                                          << "园林绿化工程补充定额";
        QTest::newRow("its file there") << "2018年建筑工程消耗量定额"
                                        << "建筑工程消耗量定额";
    }
    void choosingAnInstalledLibraryMakesItsRelatedQuotaFile() {
        QFETCH(QString, entry);
        QFETCH(QString, title);
        const QString related = m_quotas + "换算库/" + title + "_关联定额.QTWD";
        const bool existed = QFile::exists(related);
        const QByteArray before = kxtest::readBytes(related);
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select(entry));
        QVERIFY(picker.choose());
        QCOMPARE(picker.state.OpenFileFullName, m_quotas + title + ".QTDE");
        QCOMPARE(picker.state.UnloadState, 0);
        QCOMPARE(kxtest::readBytes(related),
                 existed ? before : kxtest::readBytes(m_app + "System/WithDE.mdb"));
        QCOMPARE(kxtest::mdbCount(related, "WithDE"),
                 existed ? kxtest::tableRows(related, "WithDE") : qint64(0));
    }

    void choosingAMissingLibraryAsksAndFetchesIt_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("declined") << int(Answer::No) << false;
        QTest::newRow("fetched") << int(Answer::Yes) << true;
    }
    void choosingAMissingLibraryAsksAndFetchesIt() {
        QFETCH(int, answer);
        QFETCH(bool, chosen);
        const QString library = m_quotas + sample::names::kMunicipalTitle + ".QTDE";
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select("2018年市政工程消耗量定额"));
        m_messages->queueAnswer(Answer(answer));
        QCOMPARE(picker.choose(), chosen);
        QCOMPARE(messageTexts(), QStringList{"选择的定额尚未安装，是否远程下载！"});
        QCOMPARE(QFile::exists(library), chosen);
        QCOMPARE(picker.state.OpenFileFullName, chosen ? library : QString());
        QVERIFY(!QFile::exists(m_quotas + "换算库/" + sample::names::kMunicipalTitle + "_关联定额.QTWD"));
        if (chosen) QCOMPARE(kxtest::keyInfo(library, "Key"), QString(sample::names::kMunicipalKey));
    }

    void aFailedDownloadIsToldAndTheChoiceStaysOpen_data() {
        QTest::addColumn<QString>("package");  // the mirror's package for the missing library; "" for none
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("message");
        QTest::newRow("no connection") << "" << false << "远程数据链接失败！";
        QTest::newRow("not an archive") << "garbage" << true << "数据解压缩失败！";
        QTest::newRow("a manifest naming a missing file")
            << "manifest" << true << "选择的定额无效!请重新选择!";
    }
    void aFailedDownloadIsToldAndTheChoiceStaysOpen() {
        QFETCH(QString, package);
        QFETCH(bool, reachable);
        QFETCH(QString, message);
        const QString served = m_dir->path() + "/service/";
        const QString rar = served + "更新数据/定额库/" + sample::names::kMunicipalTitle + ".rar";
        if (package == "garbage") kxtest::writeBytes(rar, QByteArray("no zip").repeated(50));
        if (package == "manifest") {
            QDir().mkpath(served + "更新数据/定额库");
            QVERIFY(
                publish::writeZip(rar.toStdString(), {{"说明.txt", publish::toBytes("no Update.xml")}}).ok());
        }
        kxtest::TestServer server(served);
        modUpdate::SetUpdateBaseAddress(
            reachable ? server.base() : "http://127.0.0.1:" + QString::number(kxtest::closedPort()) + "/");
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select("2018年市政工程消耗量定额"));
        m_messages->queueAnswer(Answer::Yes);
        QVERIFY(!picker.choose());
        QCOMPARE(messageTexts(), (QStringList{"选择的定额尚未安装，是否远程下载！", message}));
        QCOMPARE(m_messages->shown().last().title,
                 message.startsWith("选择") ? QString("友情提示") : QString("提示"));
        QCOMPARE(picker.state.UnloadState, 1);
    }

    void updatingTheSelectedLibraryTellsHowItWent_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("installed from the mirror") << "2018年市政工程消耗量定额" << QStringList{"更新完成！"};
        QTest::newRow("the offer declined") << "2018年建筑工程消耗量定额" << QStringList{};
        QTest::newRow("a group") << "建筑工程" << QStringList{};
    }
    void updatingTheSelectedLibraryTellsHowItWent() {
        QFETCH(QString, entry);
        QFETCH(QStringList, messages);
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select(entry));
        picker.updateSelected();
        QCOMPARE(messageTexts(), messages);
        QCOMPARE(m_tree.imageOf("2018年市政工程消耗量定额"),
                 modPub_Tree::kNotInstalledImage);  // not refreshed
    }

    void choosingAGroupOrNothingIsRefused() {
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select("其他专业"));
        QVERIFY(!picker.choose());
        m_tree.selected = -1;
        QVERIFY(!picker.choose());
        QCOMPARE(messageTexts(), QStringList(2, "选择的定额无效!请重新选择!"));
        QCOMPARE(m_messages->shown().first().title, QString("友情提示"));
        QCOMPARE(picker.state.UnloadState, 1);
    }

    void aDoubleClickChoosesOnlyAnEntryWithAFile() {
        kx::QuotaLibraryPicker picker = quotaPicker(m_quotas);
        picker.open();
        QVERIFY(m_tree.select("其他专业"));
        QVERIFY(!picker.chooseByDoubleClick());
        QVERIFY(m_messages->shown().isEmpty());
        QVERIFY(m_tree.select("2018年房屋修缮工程消耗量定额"));
        QVERIFY(picker.chooseByDoubleClick());
        QCOMPARE(picker.state.OpenFileFullName, m_quotas + sample::names::kRepairTitle + ".QTDE");
    }

private:
    kx::PriceFilePicker pricePicker(const QString& folder, const QString& dbName = "MatePriceIndex.mdb",
                                    const QString& extension = ".QTJG") {
        kx::PriceFilePicker picker(m_tree, m_display, m_downloads);
        picker.state.AppPath = m_app;
        picker.state.PriceDir = folder;
        picker.state.DBName = dbName;
        picker.state.Extension = extension;
        return picker;
    }
    kx::QuotaLibraryPicker quotaPicker(const QString& folder) {
        kx::QuotaLibraryPicker picker(m_tree, m_display, m_downloads);
        picker.state.AppPath = m_app;
        picker.state.Path = folder;
        picker.state.DBName = "DEIndex.mdb";
        picker.state.Extension = ".QTDE";
        return picker;
    }
    QStringList messageTexts() const {
        QStringList texts;
        for (const kx::MessageBoxSpec& box : m_messages->shown()) texts << box.text;
        return texts;
    }
    static QString fileNameOf(const QString& catalogue, qint16 id) {
        auto db = kx::openDatabase(catalogue);
        const QString name =
            db->OpenRecordset("SELECT * FROM Index WHERE ID=" + QString::number(id))->Text("WithFileName");
        db->Close();
        return name;
    }
    static void setFileName(const QString& catalogue, int id, const QString& name) {
        auto db = kx::openDatabase(catalogue);
        db->Execute("UPDATE Index SET WithFileName=" + modPub_DB::sqlText(name) +
                    " WHERE ID=" + QString::number(id));
        db->Close();
    }

    std::unique_ptr<kxtest::ServedMirror> m_mirror;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_app;
    QString m_prices;
    QString m_quotas;
    kx::ScriptedMessageService* m_messages = nullptr;
    kx::ScriptedFileDialogService* m_files = nullptr;
    ListTree m_tree;
    RecordingDisplay m_display;
    Downloads m_downloads;
};

QTEST_GUILESS_MAIN(PickerLogicTest)
#include "picker_logic_test.moc"
