// The pickers' forms and the browser's library and price tools on the sample directory: the forms driven
// through the scripted dialog, message and file-dialog services with real clicks on their trees and
// buttons; the description control's mark-up; the file dialog's filters; the trees' images.
#include <QLabel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include "browser_support.h"
#include "core/data/modpub_tree.h"
#include "core/db/dbengine.h"
#include "core/services/filedialogs.h"
#include "kxview/frmpub_selectde.h"
#include "kxview/frmselectprice.h"
#include "scripted_ui.h"
#include "widgets/controls/kxpicture.h"
#include "widgets/controls/kxwebtext.h"
#include "widgets/controls/openfiledialog.h"
#include "widgets/controls/treeimages.h"

using namespace kxtest;
using sample::names::kPickerCases;

namespace {

const QString kPricePicker = QStringLiteral("frmSelectPrice");
const QString kQuotaPicker = QStringLiteral("frmPub_SelectDE");

/// The node of `tree` captioned `text`; invalid when there is none.
QModelIndex nodeNamed(kx::KXTree& tree, const QString& text) {
    QAbstractItemModel* model = treeView(tree)->model();
    const QModelIndexList found =
        model->match(model->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

kx::KXTree& treeOf(QDialog& form) {
    return *form.findChild<kx::KXTree*>("tree");
}

/// Clicks the node captioned `text` as a user does; false when there is none.
bool clickNode(QDialog& form, const QString& text) {
    QTreeView* view = treeView(treeOf(form));
    const QModelIndex node = nodeNamed(treeOf(form), text);
    if (!node.isValid()) return false;
    view->scrollTo(node);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(node).center());
    return true;
}

bool doubleClickNode(QDialog& form, const QString& text) {
    QTreeView* view = treeView(treeOf(form));
    const QModelIndex node = nodeNamed(treeOf(form), text);
    if (!node.isValid()) return false;
    view->scrollTo(node);
    doubleClick(view->viewport(), view->visualRect(node).center());
    return true;
}

void click(QDialog& form, const char* button) {
    QTest::mouseClick(form.findChild<kx::KXPicture*>(button), Qt::LeftButton);
}

QString labelText(QDialog& form) {
    return form.findChild<QLabel*>("lbl1")->text();
}

QString description(QDialog& form) {
    return form.findChild<kx::KXWebText*>("KXWebText1")->Text();
}

/// The image number of the node captioned `text`, read from the tree control.
qint16 imageOf(kx::KXTree& tree, const QString& text) {
    for (qint16 k = 1; k <= tree.NodeCount(); ++k) {
        if (tree.NodeText(k) == text) return tree.NodeAt(k).Image();
    }
    return -1;
}

/// The visible buttons of a form, in the order given.
QStringList visibleButtons(QDialog& form, const QStringList& names) {
    QStringList visible;
    for (const QString& name : names) {
        if (form.findChild<kx::KXPicture*>(name)->isVisibleTo(&form)) visible << name;
    }
    return visible;
}

/// The stretches of a rich text as "text|b" (bold) or "text|" and the colour name when one is set.
QStringList stretches(const QTextDocument& document) {
    QStringList out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            QString entry = fragment.text() + '|' + (format.fontWeight() >= QFont::Bold ? "b" : "");
            if (format.foreground().style() != Qt::NoBrush) entry += '|' + format.foreground().color().name();
            out << entry;
        }
    }
    return out;
}

/// Prices of `table` in the price file `file`: the item ID -> the price.
QMap<qint64, double> pricesOf(const QString& file) {
    QMap<qint64, double> out;
    auto db = kx::openDatabase(file);
    for (auto rs = db->OpenRecordset("Price"); !rs->isEOF(); rs->MoveNext())
        out[rs->Value("MateID").toLongLong()] = rs->Value("Price").toDouble();
    db->Close();
    return out;
}

}  // namespace

class PickersTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_app = std::make_unique<SampleApp>();
        QVERIFY(m_app->ok());
        m_ui = std::make_unique<ScriptedUi>();
        auto files = std::make_unique<kx::ScriptedFileDialogService>();
        m_files = files.get();
        kx::setFileDialogService(std::move(files));
        m_prices = m_app->appPath() + "造价资料/材料价格文件/" + sample::names::kMaterialKey + "/";
    }

    void cleanup() {
        kx::setFileDialogService(nullptr);
        m_ui.reset();
    }

    // ---- The controls the forms stand on

    void theDescriptionShowsItsMarkUpAsRichText_data() {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("not installed") << "敬告:<B><C=12>对应定额库尚未安装!</>"
                                       << QStringList{"敬告:|", "对应定额库尚未安装!|b|#ff0000"};
        QTest::newRow("a description") << "<B>2018年建设工程材料库</>，含基期价格。"
                                       << QStringList{"2018年建设工程材料库|b", "，含基期价格。|"};
        QTest::newRow("tags in lower case") << "a<b>c</>d" << QStringList{"a|", "c|b", "d|"};
        QTest::newRow("a colour alone") << "<c=9>蓝</>" << QStringList{"蓝||#0000ff"};
        QTest::newRow("no tag of the mark-up")
            << "1 < 2 <x> & <C=16>3" << QStringList{"1 < 2 <x> & <C=16>3|"};
        QTest::newRow("an unclosed tag") << "a <B" << QStringList{"a <B|"};
        QTest::newRow("line breaks") << "一\r\n二\r三" << QStringList{"一\u2028二\u2028三|"};
    }
    void theDescriptionShowsItsMarkUpAsRichText() {
        QFETCH(QString, markup);
        QFETCH(QStringList, shown);
        kx::KXWebText text;
        text.SetText(markup);
        QCOMPARE(text.Text(), markup);
        QCOMPARE(stretches(*text.findChild<QTextBrowser*>("view")->document()), shown);
    }

    void fileDialogFiltersBecomeQtNameFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("nameFilters");
        QTest::newRow("one extension") << "价格文件(*.QTJG)|*.QTJG" << QStringList{"价格文件 (*.QTJG)"};
        QTest::newRow("two extensions")
            << "价格文件(*.QTJG;*.JG)|*.QTJG;*.JG" << QStringList{"价格文件 (*.QTJG *.JG)"};
        QTest::newRow("two pairs") << "库|*.QTCJ|全部|*.*" << QStringList{"库 (*.QTCJ)", "全部 (*.*)"};
        QTest::newRow("no filter") << "" << QStringList{};
        QTest::newRow("a description without patterns") << "价格文件" << QStringList{};
    }
    void fileDialogFiltersBecomeQtNameFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, nameFilters);
        QCOMPARE(kx::qtNameFilters(filter), nameFilters);
    }

    void theTreesImagesAreDrawnForTheNumbersThePickersUse() {
        const QList<QIcon> images = kx::pickerTreeImages();
        QCOMPARE(images.size(), 18);
        for (int number = 1; number <= images.size(); ++number) {
            const bool used = number == kx::kPriceFileImage || number == kx::kQuotaLibraryImage ||
                              number == modPub_Tree::kNotInstalledImage;
            QCOMPARE(images[number - 1].isNull(), !used);
            if (!used) continue;
            const QImage normal = images[number - 1].pixmap(16, QIcon::Normal).toImage();
            QVERIFY(normal != images[number - 1].pixmap(16, QIcon::Selected).toImage());
            for (int other : {kx::kPriceFileImage, kx::kQuotaLibraryImage, modPub_Tree::kNotInstalledImage})
                if (other != number) QVERIFY(normal != images[other - 1].pixmap(16).toImage());
        }
    }

    // ---- frmSelectPrice

    void thePricePickerShowsItsSettingsAndCancelling_data() {
        QTest::addColumn<qint16>("hideDel");
        QTest::addColumn<qint16>("hideOther");
        QTest::addColumn<qint16>("hideUpdate");
        QTest::addColumn<bool>("canOpenOther");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QString>("otherCaption");
        const QStringList all{"cmdDel", "cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"};
        QTest::newRow("every button") << qint16(0) << qint16(2) << qint16(-1) << false << all << "导入...";
        QTest::newRow("the price setting")
            << qint16(1) << qint16(0) << qint16(0) << false
            << QStringList{"cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"} << "导入...";
        QTest::newRow("the library setting") << qint16(1) << qint16(1) << qint16(1) << false
                                             << QStringList{"cmdSure", "cmdCancel"} << "导入...";
        QTest::newRow("browsing") << qint16(0) << qint16(0) << qint16(0) << true << all << "浏览...";
    }
    void thePricePickerShowsItsSettingsAndCancelling() {
        QFETCH(qint16, hideDel);
        QFETCH(qint16, hideOther);
        QFETCH(qint16, hideUpdate);
        QFETCH(bool, canOpenOther);
        QFETCH(QStringList, visible);
        QFETCH(QString, otherCaption);
        kx::frmSelectPrice form;
        setUpPricePicker(form);
        form.SetHideCmd_Del(hideDel);
        form.SetHideCmd_Other(hideOther);
        form.SetHideCmd_Update(hideUpdate);
        form.SetCanOpenOther(canOpenOther);
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QCOMPARE(d.windowTitle(), QString("文件目录"));
            QCOMPARE(visibleButtons(d, {"cmdDel", "cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"}), visible);
            const QStringList captions{"删除", otherCaption, "  远程更新", "确定", "取消"};
            int i = 0;
            for (const char* name : {"cmdDel", "cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"})
                QCOMPARE(d.findChild<kx::KXPicture*>(name)->text(), captions[i++]);
            click(d, "cmdCancel");
        });
        form.showModal();
        QCOMPARE(m_ui->dialogs->shown(), QStringList{kPricePicker});
        QCOMPARE(form.GetUnloadState(), 1);
        QCOMPARE(form.GetOpenFileFullName(), QString());
    }

    void clickingANodeShowsItsFileAndADoubleClickChoosesIt() {
        kx::frmSelectPrice form;
        setUpPricePicker(form);
        form.SetDefaultName("上海市2024年1月建设工程材料信息价");
        QString openingLabel;
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            openingLabel = labelText(d);
            QVERIFY(clickNode(d, "北京市2024年2月建设工程材料信息价"));
            QCOMPARE(labelText(d), QString("制作人：ADMIN  创建日期：2024-02-15"));
            QCOMPARE(description(d), QString("<B>北京市2024年2月建设工程材料信息价</>，价格不含税。"));
            QVERIFY(clickNode(d, "北京市"));
            QCOMPARE(labelText(d), QString());
            QVERIFY(doubleClickNode(d, "某住宅项目材料询价"));
        });
        form.showModal();
        QCOMPARE(openingLabel, QString("制作人：ADMIN  创建日期：2024-02-01"));
        QCOMPARE(form.GetUnloadState(), 0);
        QCOMPARE(form.GetOpenFileFullName(), m_prices + "项目询价.QTJG");
        QVERIFY(m_ui->messageTexts().isEmpty());
    }

    void choosingAGroupIsRefusedAndTheFormStaysOpen() {
        kx::frmSelectPrice form;
        setUpPricePicker(form);
        bool stillOpen = false;
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QVERIFY(clickNode(d, "自定义价格"));
            click(d, "cmdSure");
            stillOpen = d.isVisible();
            click(d, "cmdCancel");
        });
        form.showModal();
        QVERIFY(stillOpen);
        QCOMPARE(m_ui->messageTexts(), QStringList{"选择的列项无效!请重新选择!"});
        QCOMPARE(form.GetUnloadState(), 1);
    }

    void enterChoosesOnlyWhereSwitchedOn_data() {
        QTest::addColumn<bool>("on");
        QTest::newRow("off") << false;
        QTest::newRow("on") << true;
    }
    void enterChoosesOnlyWhereSwitchedOn() {
        QFETCH(bool, on);
        kx::frmSelectPrice prices;
        setUpPricePicker(prices);
        prices.setEnterChooses(on);
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QVERIFY(clickNode(d, "某住宅项目材料询价"));
            QTest::keyClick(treeView(treeOf(d)), Qt::Key_Return);
            if (d.isVisible()) click(d, "cmdCancel");
        });
        prices.showModal();
        QCOMPARE(prices.GetUnloadState(), on ? 0 : 1);
        if (on) QCOMPARE(prices.GetOpenFileFullName(), m_prices + "项目询价.QTJG");

        Browser b;
        b.load(*m_app, "DE", m_app->quota());
        b.view.setPickerEnterKey(on);
        const QString before = b.view.GetDBFullName();
        m_ui->dialogs->queue(kQuotaPicker, [&](QDialog& d) {
            QVERIFY(clickNode(d, "2018年安装工程消耗量定额"));
            QTest::keyClick(treeView(treeOf(d)), Qt::Key_Enter);
            if (d.isVisible()) click(d, "cmdCancel");
        });
        QTest::mouseClick(b.tool("tMateIndex"), Qt::LeftButton);
        QCOMPARE(b.view.GetDBFullName(), on ? m_app->installQuota() : before);
    }

    void theDeleteButtonDeletesTheUsersOwnFile() {
        kx::frmSelectPrice form;
        setUpPricePicker(form);
        form.SetUserName("张工");
        int nodesAfter = 0;
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QVERIFY(clickNode(d, "某住宅项目材料询价"));
            m_ui->messages->queueAnswer(kx::MessageAnswer::Yes);
            click(d, "cmdDel");
            nodesAfter = treeOf(d).NodeCount();
            QVERIFY(!nodeNamed(treeOf(d), "某住宅项目材料询价").isValid());
            click(d, "cmdCancel");
        });
        form.showModal();
        QCOMPARE(m_ui->messageTexts(), QStringList{"确信要删除价格文件[某住宅项目材料询价]!"});
        QCOMPARE(nodesAfter, 9);
        QVERIFY(!QFile::exists(m_prices + "项目询价.QTJG"));
        QCOMPARE(mdbCount(m_prices + "MatePriceIndex.mdb", "Index"), qint64(9));
    }

    void theImportButtonImportsAndCloses() {
        kx::frmSelectPrice form;
        setUpPricePicker(form);
        const QString picked =
            QString(kPickerCases.exchangeDir) + "/" + kPickerCases.colleaguePrice + ".QTJG";
        m_files->queueAnswer(m_app->appPath() + picked);
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QVERIFY(clickNode(d, "北京市2024年1月建设工程材料信息价"));
            click(d, "cmdOther");
        });
        form.showModal();
        QCOMPARE(form.GetUnloadState(), 0);
        QCOMPARE(form.GetOpenFileFullName(), m_prices + kPickerCases.colleaguePrice + ".QTJG");
        QCOMPARE(mdbCount(m_prices + "MatePriceIndex.mdb", "Index"), qint64(11));
    }

    // ---- frmPub_SelectDE

    void theQuotaPickerMarksMissingLibrariesAndWarnsOfThem() {
        kx::frmPub_SelectDE form;
        setUpQuotaPicker(form, "2018年房屋修缮工程消耗量定额");
        m_ui->dialogs->queue(kQuotaPicker, [&](QDialog& d) {
            QCOMPARE(d.windowTitle(), QString("选择定额"));
            QCOMPARE(visibleButtons(d, {"cmdSure", "cmdCancel", "cmdUpdate"}),
                     (QStringList{"cmdSure", "cmdCancel", "cmdUpdate"}));
            QCOMPARE(d.findChild<kx::KXPicture*>("cmdUpdate")->text(), QString("  远程更新"));
            kx::KXTree& tree = treeOf(d);
            QCOMPARE(tree.NodeText(tree.SelectedIndex()), QString("2018年房屋修缮工程消耗量定额"));
            QVERIFY(labelText(d).startsWith("制作人：定额管理站"));
            QCOMPARE(imageOf(tree, "2018年市政工程消耗量定额"), modPub_Tree::kNotInstalledImage);
            QCOMPARE(imageOf(tree, "2018年园林绿化工程补充定额"), kx::kQuotaLibraryImage);
            QVERIFY(clickNode(d, "2018年市政工程消耗量定额"));
            QCOMPARE(description(d), QString("敬告:<B><C=12>对应定额库尚未安装!</>"));
            QCOMPARE(labelText(d), QString());
            QVERIFY(doubleClickNode(d, "其他专业"));  // a group: the tree says no, nothing happens
            QVERIFY(d.isVisible());
            click(d, "cmdCancel");
        });
        form.showModal();
        QCOMPARE(form.GetUnloadState(), 1);
        QVERIFY(m_ui->messageTexts().isEmpty());
    }

    // ---- The browser's library and price tools

    void theLibraryToolSwitchesQuotaLibraries() {
        Browser b;
        b.load(*m_app, "DE", m_app->quota());
        QString defaultShown;
        m_ui->dialogs->queue(kQuotaPicker, [&](QDialog& d) {
            kx::KXTree& tree = treeOf(d);
            defaultShown = tree.NodeText(tree.SelectedIndex());
            QVERIFY(clickNode(d, "2018年安装工程消耗量定额"));
            click(d, "cmdSure");
        });
        QTest::mouseClick(b.tool("tMateIndex"), Qt::LeftButton);
        QCOMPARE(defaultShown, QString("2018年建筑工程消耗量定额"));
        QCOMPARE(b.view.GetDBFullName(), m_app->installQuota());
        QCOMPARE(b.tree().NodeText(1), QString(sample::names::kInstallTitle));
        QVERIFY(b.cells().Rows() > 1);
        QVERIFY(m_ui->messageTexts().isEmpty());

        m_ui->dialogs->queue(kQuotaPicker, [&](QDialog& d) {
            QVERIFY(clickNode(d, "2018年建筑工程消耗量定额"));
            click(d, "cmdCancel");
        });
        QTest::mouseClick(b.tool("tMateIndex"), Qt::LeftButton);
        QCOMPARE(b.view.GetDBFullName(), m_app->installQuota());
    }

    void switchingMaterialLibrariesMovesThePriceFileToTheNewKey() {
        Browser b;
        const QString beijing = QString(kPickerCases.sharedPriceTitle) + ".QTJG";
        b.view.SetPriceDBFullPath(m_prices + beijing);
        b.load(*m_app, "Mate", m_app->material());
        QCOMPARE(b.cells().ColKey(10), m_prices + beijing);
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QCOMPARE(visibleButtons(d, {"cmdDel", "cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"}),
                     (QStringList{"cmdSure", "cmdCancel"}));
            kx::KXTree& tree = treeOf(d);
            QCOMPARE(tree.NodeText(tree.SelectedIndex()), QString("2018年建设工程材料库"));
            QVERIFY(clickNode(d, "2024年建设工程材料库"));
            click(d, "cmdSure");
        });
        QTest::mouseClick(b.tool("tMateIndex"), Qt::LeftButton);
        const QString rebased =
            m_app->appPath() + "造价资料/材料价格文件/" + kPickerCases.secondMaterialKey + "\\" + beijing;
        QCOMPARE(b.view.GetDBFullName(),
                 m_app->appPath() + "造价资料/材料库/" + kPickerCases.secondMaterial + ".QTCJ");
        QCOMPARE(b.cells().Cols(), 11);
        QCOMPARE(b.cells().ColKey(10), rebased);
        QCOMPARE(b.cells().TextMatrix(0, 10), QString("京24.01"));
        const QMap<qint64, double> prices = pricesOf(rebased);
        QVERIFY(prices != pricesOf(m_prices + beijing));
        int compared = 0;
        for (int row = 1; row < b.cells().Rows(); ++row) {
            const qint64 id = b.cells().TextMatrix(row, kId).toLongLong();
            const QString cell = b.cells().TextMatrix(row, 10);
            QCOMPARE(cell, prices.contains(id) ? QString::number(prices[id], 'f', 2) : QString());
            ++compared;
        }
        QVERIFY(compared > 10);
    }

    void thePriceToolAddsTheColumnOfThePickedFile() {
        Browser b;
        b.load(*m_app, "DE", m_app->quota());
        QCOMPARE(b.cells().Cols(), 10);
        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) {
            QCOMPARE(visibleButtons(d, {"cmdDel", "cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"}),
                     (QStringList{"cmdOther", "cmdUpdate", "cmdSure", "cmdCancel"}));
            QVERIFY(doubleClickNode(d, "北京市2024年2月建设工程材料信息价"));
        });
        QTest::mouseClick(b.tool("tWithPrice"), Qt::LeftButton);
        QCOMPARE(b.cells().Cols(), 11);
        QCOMPARE(b.cells().TextMatrix(0, 10), QString("京24.02"));
        // The price folder is built as the data write paths: the key and a backslash after the root.
        QCOMPARE(b.cells().ColKey(10),
                 m_app->appPath() + "造价资料/材料价格文件\\CJ2018\\北京2024年2月信息价.QTJG");

        m_ui->dialogs->queue(kPricePicker, [&](QDialog& d) { click(d, "cmdCancel"); });
        QTest::mouseClick(b.tool("tWithPrice"), Qt::LeftButton);
        QCOMPARE(b.cells().Cols(), 11);
        b.view.Load(m_app->quota());  // a picked price file does not come back
        QCOMPARE(b.cells().Cols(), 10);
    }

    void aBillLibraryHasNeitherTool() {
        Browser b;
        b.load(*m_app, "DataBook", m_app->bill());
        QVERIFY(!b.tool("tMateIndex")->isVisible() && !b.tool("tWithPrice")->isVisible());
        b.tool("tMateIndex")->click();
        b.tool("tWithPrice")->click();
        QVERIFY(m_ui->dialogs->shown().isEmpty());
        QCOMPARE(b.view.GetDBFullName(), m_app->bill());
    }

    void aFolderThatCannotBeRegisteredIsReportedAndChangesNothing() {
        Browser b;
        const QString company =
            m_app->appPath() + kPickerCases.companyQuotaDir + "/" + kPickerCases.companyQuota;
        b.load(*m_app, "DE", company);
        QTest::mouseClick(b.tool("tMateIndex"), Qt::LeftButton);
        QVERIFY(m_ui->dialogs->shown().isEmpty());
        QCOMPARE(m_ui->messages->shown().size(), 1);
        QCOMPARE(m_ui->messages->shown().first().title, QString("提示"));
        QVERIFY2(m_ui->messageTexts().first().contains("Name"), qPrintable(m_ui->messageTexts().first()));
        QCOMPARE(b.view.GetDBFullName(), company);
    }

private:
    void setUpPricePicker(kx::frmSelectPrice& form) {
        form.SetAppPath(m_app->appPath());
        form.SetPriceDir(m_prices);
        form.SetDBName("MatePriceIndex.mdb");
        form.SetExtension(".QTJG");
    }
    void setUpQuotaPicker(kx::frmPub_SelectDE& form, const QString& defaultName) {
        form.SetAppPath(m_app->appPath());
        form.SetPath(m_app->appPath() + sample::names::kQuotaDir + "/");
        form.SetDBName("DEIndex.mdb");
        form.SetExtension(".QTDE");
        form.SetDefaultName(defaultName);
    }

    std::unique_ptr<SampleApp> m_app;
    std::unique_ptr<ScriptedUi> m_ui;
    kx::ScriptedFileDialogService* m_files = nullptr;
    QString m_prices;
};

QTEST_MAIN(PickersTest)
#include "pickers_test.moc"
