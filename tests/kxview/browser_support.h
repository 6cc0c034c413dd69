// Helpers the KXView tests share: a copy of the sample application directory, a shown browser with its
// constituent controls, and scopes that answer message boxes and dialogs by script.
#pragma once

#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "core/services/messages.h"
#include "gui_support.h"
#include "kxview/kxbar.h"
#include "kxview/kxview.h"
#include "sample/names.h"
#include "sample_fixture.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/richtextpane.h"
#include "widgets/controls/splitter.h"
#include "widgets/services/dialogs.h"

namespace kxtest {

constexpr int gridColumn(kx::HCol_F c) {
    return static_cast<int>(c) + 1;
}
constexpr int kCode = gridColumn(kx::HCol_F::Code);
constexpr int kName = gridColumn(kx::HCol_F::Name);
constexpr int kUnit = gridColumn(kx::HCol_F::Unit);
constexpr int kId = gridColumn(kx::HCol_F::ID);
constexpr int kRowKind = gridColumn(kx::HCol_F::RowKind);
constexpr int kDEKey = gridColumn(kx::HCol_F::DEKey);
constexpr int kOther = gridColumn(kx::HCol_F::Other);

/// The texts of column `col` of every data row.
inline QStringList column(const kx::GridModel& g, int col) {
    QStringList out;
    for (int r = 1; r < g.Rows(); ++r) out << g.TextMatrix(r, col);
    return out;
}

/// Records the message boxes shown while it lives and answers them from its queue.
struct MessageScope {
    MessageScope() {
        auto owned = std::make_unique<kx::ScriptedMessageService>();
        service = owned.get();
        kx::setMessageService(std::move(owned));
    }
    ~MessageScope() { kx::setMessageService(nullptr); }
    kx::ScriptedMessageService* service;
};

/// Answers the dialogs shown while it lives by the scripts queued on it.
struct DialogScope {
    DialogScope() {
        auto owned = std::make_unique<kx::ScriptedDialogService>();
        service = owned.get();
        kx::setDialogService(std::move(owned));
    }
    ~DialogScope() { kx::setDialogService(nullptr); }
    kx::ScriptedDialogService* service;
};

/// A copy of the test run's sample application directory in a temporary folder, for tests that change it.
class SampleApp {
public:
    /// Copies the directory; check ok() before use.
    SampleApp() : m_copied(m_dir.isValid() && copySampleApp(m_dir.filePath("app"))) {}
    bool ok() const { return m_copied; }

    /// The application directory, ending with '/'.
    QString appPath() const { return m_dir.filePath("app") + QLatin1Char('/'); }
    /// A path in the temporary folder beside the application directory.
    QString scratch(const QString& name) const { return m_dir.filePath(name); }
    QString file(const char* folder, const QString& name) const {
        return appPath() + QString::fromUtf8(folder) + QLatin1Char('/') + name;
    }
    QString quota() const {
        return library(sample::names::kQuotaDir, sample::names::kBuildingTitle, ".QTDE");
    }
    QString installQuota() const {
        return library(sample::names::kQuotaDir, sample::names::kInstallTitle, ".QTDE");
    }
    QString material() const {
        return library(sample::names::kMaterialDir, sample::names::kMaterialTitle, ".QTCJ");
    }
    QString bill() const { return library(sample::names::kBillDir, sample::names::kBillTitle, ".QTQD"); }
    /// A price file of the material library's price folder, by title.
    QString priceFile(const QString& title) const {
        return file(sample::names::kPriceRoot,
                    QString::fromUtf8(sample::names::kMaterialKey) + QLatin1Char('/') + title + ".QTJG");
    }

private:
    QString library(const char* folder, const char* title, const char* ext) const {
        return file(folder, QString::fromUtf8(title) + QLatin1String(ext));
    }

    QTemporaryDir m_dir;
    bool m_copied;
};

/// A shown KXView and its constituent controls.
struct Browser {
    Browser() {
        view.resize(900, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
    kx::OutlineGrid& F() { return *view.findChild<kx::OutlineGrid*>(QStringLiteral("F")); }
    kx::GridModel& cells() { return F().cells(); }
    kx::KXTree& tree() { return *view.findChild<kx::KXTree*>(QStringLiteral("tree")); }
    kx::KXBar& toolbar() { return *view.findChild<kx::KXBar*>(QStringLiteral("toolbar")); }
    kx::PaneSplitter& Sp() { return *view.findChild<kx::PaneSplitter*>(QStringLiteral("Sp")); }
    kx::RichTextPane& txtSM() { return *view.findChild<kx::RichTextPane*>(QStringLiteral("txtSM")); }
    QWidget& child(const char* name) { return *view.findChild<QWidget*>(QLatin1String(name)); }
    QToolButton* tool(const char* name) { return view.findChild<QToolButton*>(QLatin1String(name)); }

    /// Sets the kind and the application directory, and loads `file`.
    void load(const SampleApp& app, const QString& kind, const QString& file) {
        view.SetAppPath(app.appPath());
        view.setFindStyle(kind);
        view.Load(file);
    }
    /// Clicks a cell of grid row `row` as a user does, which makes the row current.
    void clickRow(int row, int col = kName) {
        F().scrollTo(cells().index(row - 1, col));
        QTest::mouseClick(F().viewport(), Qt::LeftButton, {},
                          F().visualRect(cells().index(row - 1, col)).center());
    }
    void doubleClickRow(int row) {
        F().scrollTo(cells().index(row - 1, kCode));
        kxtest::doubleClick(F().viewport(), F().visualRect(cells().index(row - 1, kCode)).center());
    }
    void clickNode(qint16 index) {
        QTreeView* view_ = kxtest::treeView(tree());
        const QModelIndex node = kxtest::treeNodeIndex(tree(), index);
        view_->scrollTo(node);
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, view_->visualRect(node).center());
    }
    /// The first data row whose ID column reads `id`; 0 when none does.
    int rowOfId(qint64 id) {
        for (int r = 1; r < cells().Rows(); ++r) {
            if (cells().TextMatrix(r, kId) == QString::number(id)) return r;
        }
        return 0;
    }
    /// Inserts plain level-1 node rows below `row` with the given code texts, as conversions are inserted.
    void insertChildRows(int row, const QStringList& codes) {
        for (int i = 0; i < codes.size(); ++i) {
            cells().AddItem(QString(), row + 1 + i);
            cells().setTextMatrix(row + 1 + i, kCode, codes[i]);
            cells().setIsSubtotal(row + 1 + i, true);
            cells().setRowOutlineLevel(row + 1 + i, 1);
        }
    }

    kx::KXView view;
};

}  // namespace kxtest
