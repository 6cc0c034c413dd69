#include "demo_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMap>
#include <QMenuBar>
#include <QMetaEnum>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>

#include "kxview/kxview.h"
#include "kxview/modupdate.h"
#include "kxview/propertystore.h"
#include "sample/names.h"
#include "static_file_server.h"

namespace demo {
namespace {

struct LibraryFile {
    const char* kind;  // FindStyle
    const char* folder;
    QString fileName;
};

LibraryFile fileOf(Library library) {
    using namespace sample::names;
    switch (library) {
        case Library::Quota:
            return {"DE", kQuotaDir, QString::fromUtf8(kBuildingTitle) + ".QTDE"};
        case Library::Material:
            return {"Mate", kMaterialDir, QString::fromUtf8(kMaterialTitle) + ".QTCJ"};
        case Library::Bill:
            return {"DataBook", kBillDir, QString::fromUtf8(kBillTitle) + ".QTQD"};
    }
    return {};
}

/// The first grid column that holds prices.
constexpr int kFirstPriceCol = 10;

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

/// Size and time of last change of every file below `dir`, outside its Temp work folder; keys are
/// '/'-separated relative paths.
QMap<QString, QString> fileStamps(const QString& dir) {
    QMap<QString, QString> stamps;
    const QDir root(dir);
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        const QString relative = root.relativeFilePath(file.filePath());
        if (relative.startsWith(QLatin1String("Temp/"))) continue;
        stamps.insert(relative,
                      QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch()));
    }
    return stamps;
}

/// The keys of `after` that are new or stamped differently in `before`, in order.
QStringList changedFiles(const QMap<QString, QString>& before, const QMap<QString, QString>& after) {
    QStringList changed;
    for (auto it = after.begin(); it != after.end(); ++it)
        if (before.value(it.key()) != it.value()) changed << it.key();
    return changed;
}

/// What an UpdateDELibrary result code means.
QString resultText(qint32 code) {
    switch (code) {
        case modUpdate::kUpdateFinished:
            return QStringLiteral("installed");
        case modUpdate::kDownloadFailed:
            return QStringLiteral("download failed");
        case modUpdate::kExtractionFailed:
            return QStringLiteral("extraction failed");
        case modUpdate::kInstallFailed:
            return QStringLiteral("installation failed");
        case modUpdate::kDeclined:
            return QStringLiteral("declined");
    }
    return QStringLiteral("unknown result");
}

}  // namespace

DemoWindow::DemoWindow(const QString& appDir, bool rememberMarks, QWidget* parent)
    : QMainWindow(parent), m_appDir(appDir), m_view(new kx::KXView), m_log(new QPlainTextEdit) {
    setWindowTitle(QStringLiteral("KXView 演示"));
    m_log->setObjectName(QStringLiteral("eventLog"));
    m_log->setReadOnly(true);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(m_view);
    split->addWidget(m_log);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({860, 420});
    setCentralWidget(split);
    if (rememberMarks) {
        m_settings = std::make_unique<QSettings>(QStringLiteral("KXView"), QStringLiteral("kxview-demo"));
        m_marksStore = std::make_unique<kx::SettingsPropertyStore>(*m_settings, QStringLiteral("KXView1"));
        m_view->SetItemMarksStore(m_marksStore.get());
    }
    m_view->setAllAdditions(true);
    addHostCalls();
    addUpdateMenu();
    addAdditionsMenu();
    connectEvents();
    log(QStringLiteral("application directory: ") + QDir::toNativeSeparators(appDir));
    serveMirror();  // the pickers fetch what is missing from it whenever the user asks
}

DemoWindow::~DemoWindow() {
    m_view->SetItemMarksStore(nullptr);  // the store goes before the control
}

QTableView& DemoWindow::grid() const {
    return *m_view->findChild<QTableView*>(QStringLiteral("F"));
}

int DemoWindow::rowCount() const {
    return grid().model()->rowCount() + 1;
}

int DemoWindow::columnCount() const {
    return grid().model()->columnCount();
}

QString DemoWindow::cellText(int row, int col) const {
    const QAbstractItemModel& cells = *grid().model();
    if (row == 0) return cells.headerData(col, Qt::Horizontal).toString();
    return cells.index(row - 1, col).data().toString();
}

void DemoWindow::selectRow(int row) {
    grid().setProperty("Row", row);  // the grid's current row, grid coordinates
}

QString DemoWindow::priceFile(const char* title) const {
    return m_appDir + QLatin1Char('/') + QString::fromUtf8(sample::names::kPriceRoot) + QLatin1Char('/') +
           QString::fromUtf8(sample::names::kMaterialKey) + QLatin1Char('/') + QString::fromUtf8(title) +
           QStringLiteral(".QTJG");
}

bool DemoWindow::open(Library library) {
    const LibraryFile file = fileOf(library);
    const QString path =
        m_appDir + QLatin1Char('/') + QString::fromUtf8(file.folder) + QLatin1Char('/') + file.fileName;
    m_view->setFindStyle(QLatin1String(file.kind));
    m_view->SetAppPath(m_appDir + QLatin1Char('/'));
    // Bill-item libraries have no prices.
    m_view->SetPriceDBFullPath(library == Library::Bill ? QString() : priceFile("北京2024年1月信息价"));
    try {
        m_view->Load(path);
        m_shown = library;
        log(QStringLiteral("Load(%1) with FindStyle %2")
                .arg(quoted(file.fileName), quoted(QLatin1String(file.kind))));
        return true;
    } catch (const std::exception& e) {
        log(QStringLiteral("Load(%1) failed: %2").arg(quoted(file.fileName), QString::fromUtf8(e.what())));
        return false;
    }
}

void DemoWindow::callRow(int row) {
    if (row >= rowCount()) return;
    selectRow(row);
    grid().scrollTo(grid().currentIndex(), QAbstractItemView::PositionAtCenter);
    if (auto* call = m_view->findChild<QAbstractButton*>(QStringLiteral("tCall"))) call->click();
}

int DemoWindow::openFirstRowWithChildren(const std::function<bool(int row)>& wanted) {
    for (int row = 1; row < rowCount(); ++row) {
        if (grid().isRowHidden(row - 1)) continue;  // below a collapsed row of its own
        selectRow(row);
        // The rows the browser inserts below the current one come collapsed, out of sight.
        const bool hasChildren = row + 1 < rowCount() && grid().isRowHidden(row);
        if (!hasChildren || !wanted(row)) continue;
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&grid(), &enter);
        grid().scrollTo(grid().currentIndex(), QAbstractItemView::PositionAtTop);
        return row;
    }
    return 0;
}

void DemoWindow::filter(const QString& text, bool wholeLibrary) {
    if (auto* whole = m_view->findChild<QAbstractButton*>(QStringLiteral("chkWholeLibrary")))
        whole->setChecked(wholeLibrary);
    if (auto* box = m_view->findChild<QLineEdit*>(QStringLiteral("txtFilter"))) box->setText(text);
}

void DemoWindow::markFavourite(int row) {
    selectRow(row);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_D, Qt::ControlModifier);
    QApplication::sendEvent(&grid(), &key);
}

void DemoWindow::openGridMenu(int row) {
    selectRow(row);
    const QPoint at = grid().visualRect(grid().currentIndex()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid().viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid().viewport(), &event);
}

void DemoWindow::pressTool(const char* name, const QString& call) {
    auto* tool = m_view->findChild<QAbstractButton*>(QLatin1String(name));
    if (tool == nullptr) {
        log(call + QStringLiteral(": no tool ") + QLatin1String(name));
        return;
    }
    tool->click();  // the control reports its own failures in a box and goes on
    log(call);
}

void DemoWindow::selectPriceFile() {
    pressTool("tWithPrice", QStringLiteral("SelectPriceFile (tool tWithPrice)"));
    QStringList columns;
    for (int col = kFirstPriceCol; col < columnCount(); ++col) columns << quoted(cellText(0, col));
    log(QStringLiteral("  price columns: ") + columns.join(QStringLiteral(", ")));
}

void DemoWindow::switchLibrary() {
    pressTool("tMateIndex", QStringLiteral("SwitchLibrary (tool tMateIndex)"));
    log(QStringLiteral("  GetDBFullName() = ") + quoted(QFileInfo(m_view->GetDBFullName()).fileName()));
}

QString DemoWindow::descriptionText() const {
    return m_view->findChild<QWidget*>(QStringLiteral("txtSM"))->property("Text").toString();
}

int DemoWindow::firstCorrectedRow() const {
    constexpr int kNameCol = static_cast<int>(kx::HCol_F::Name) + 1;
    for (int row = 1; row < rowCount(); ++row) {
        if (cellText(row, kNameCol).endsWith(QStringLiteral(" [堪误]"))) return row;
    }
    return 0;
}

void DemoWindow::addHostCalls() {
    QToolBar* tools = addToolBar(QStringLiteral("host"));
    tools->setObjectName(QStringLiteral("hostCalls"));
    tools->addAction(QStringLiteral("定额库"), this, [this] { open(Library::Quota); });
    tools->addAction(QStringLiteral("材料库"), this, [this] { open(Library::Material); });
    tools->addAction(QStringLiteral("清单库"), this, [this] { open(Library::Bill); });
    tools->addSeparator();
    tools->addAction(QStringLiteral("GetSelectMateID"), this, [this] {
        log(QStringLiteral("GetSelectMateID() = %1").arg(m_view->GetSelectMateID()));
    });
    tools->addAction(QStringLiteral("GetSelectMateKey"), this, [this] {
        log(QStringLiteral("GetSelectMateKey() = ") + quoted(m_view->GetSelectMateKey()));
    });
    tools->addAction(QStringLiteral("GetHSCode"), this, [this] {
        const int row = grid().property("Row").toInt();
        try {
            log(QStringLiteral("GetHSCode(%1) = %2")
                    .arg(row)
                    .arg(m_view->GetHSCode(static_cast<qint16>(row))));
        } catch (const std::exception& e) {
            log(QStringLiteral("GetHSCode(%1) failed: %2").arg(row).arg(QString::fromUtf8(e.what())));
        }
    });
    tools->addAction(QStringLiteral("GetDBFullName"), this,
                     [this] { log(QStringLiteral("GetDBFullName() = ") + quoted(m_view->GetDBFullName())); });
    tools->addSeparator();
    tools->addAction(QStringLiteral("FindOne"), this, [this] {
        try {
            m_view->FindOne();
            log(QStringLiteral("FindOne()"));
        } catch (const std::exception& e) {
            log(QStringLiteral("FindOne() failed: ") + QString::fromUtf8(e.what()));
        }
    });
    tools->addAction(QStringLiteral("LoadWithDE"), this, [this] {
        try {
            m_view->LoadWithDE();
            log(QStringLiteral("LoadWithDE()"));
        } catch (const std::exception& e) {
            log(QStringLiteral("LoadWithDE() failed: ") + QString::fromUtf8(e.what()));
        }
    });
    tools->addAction(QStringLiteral("ClearPrice"), this, [this] {
        m_view->ClearPrice();
        log(QStringLiteral("ClearPrice()"));
    });
    tools->addAction(QStringLiteral("选择价格文件"), this, [this] { selectPriceFile(); });
    tools->addAction(QStringLiteral("切换库"), this, [this] { switchLibrary(); });
    tools->addSeparator();
    for (const QString& command : {QStringLiteral("全展开"), QStringLiteral("全关闭")}) {
        tools->addAction(command, this, [this, command] {
            m_view->SetTreeExpandedState(command);
            log(QStringLiteral("SetTreeExpandedState(%1)").arg(quoted(command)));
        });
    }
}

void DemoWindow::addUpdateMenu() {
    QMenu* updates = menuBar()->addMenu(QStringLiteral("更新(&U)"));
    QAction* both =
        updates->addAction(QStringLiteral("更新定额库和价格文件(&A)"), this, [this] { runUpdates(); });
    both->setObjectName(QStringLiteral("runUpdates"));
}

void DemoWindow::addAdditionsMenu() {
    // What each of KXView's additions is called for the user of the demo.
    const QMap<QString, QString> captions{{"PinyinFind", "拼音查找"},
                                          {"FilterBox", "筛选框"},
                                          {"RecentAndFavourites", "最近使用与收藏"},
                                          {"SpreadsheetExport", "导出与复制到表格"},
                                          {"PriceHistory", "价格走势"},
                                          {"GridMenu", "列表右键菜单"},
                                          {"RowErrorsInStatusLine", "错误显示在状态栏"},
                                          {"FullCodes", "编号完整显示"},
                                          {"ErrataLink", "点击勘误标记"},
                                          {"NewListAtTop", "新列表从头显示"},
                                          {"PaneFollowsList", "说明随列表清空"},
                                          {"FocusOnResults", "查找后定位到结果"},
                                          {"EmptyListNotice", "空列表提示"},
                                          {"QtTranslations", "中文标准按钮"},
                                          {"DialogsOverHost", "对话框居中于主窗口"},
                                          {"OutlineKeys", "快捷键（Ctrl+F、←→+-）"},
                                          {"NameColumnFills", "名称列占满宽度"},
                                          {"PickerEnterKey", "选择窗口回车确定"}};
    QMenu* menu = menuBar()->addMenu(QStringLiteral("增强功能(&E)"));
    menu->setObjectName(QStringLiteral("additionsMenu"));
    const QMetaEnum additions = QMetaEnum::fromType<kx::KXView::Addition>();
    for (int i = 0; i < additions.keyCount(); ++i) {
        const auto which = static_cast<kx::KXView::Addition>(additions.value(i));
        const QString name = QLatin1String(additions.key(i));
        QAction* action = menu->addAction(captions.value(name, name));
        action->setObjectName(name);
        action->setCheckable(true);
        action->setChecked(m_view->addition(which));
        connect(action, &QAction::toggled, this, [this, which, name](bool on) {
            m_view->setAddition(which, on);
            log(QStringLiteral("set%1(%2)").arg(name, on ? QStringLiteral("true") : QStringLiteral("false")));
        });
    }
}

bool DemoWindow::serveMirror() {
    if (m_mirror != nullptr) return true;
    const QString root = m_appDir + QLatin1Char('/') + utf8(sample::names::kUpdateRoot);
    auto* server = new StaticFileServer(root, this);
    if (!server->listen()) {
        log(QStringLiteral("update service not served: ") + server->errorString());
        delete server;
        return false;
    }
    connect(server, &StaticFileServer::served, this,
            [this](const QString& method, const QString& path, int status) {
                log(QStringLiteral("  http %1 %2 -> %3").arg(method, path).arg(status));
            });
    m_mirror = server;
    modUpdate::SetUpdateBaseAddress(m_mirror->baseUrl());
    // "<SYS>" targets stay inside the sample directory, on Windows too.
    modUpdate::SetSystemDirectory(m_appDir + QLatin1Char('/') + utf8(sample::names::kSystemDir) +
                                  QLatin1Char('/'));
    log(QStringLiteral("update service: %1 served at %2")
            .arg(QDir::toNativeSeparators(root), server->baseUrl()));
    return true;
}

UpdateReport DemoWindow::runUpdates() {
    UpdateReport report;
    if (!serveMirror()) return report;
    const QString appPath = m_appDir + QLatin1Char('/');
    const QMap<QString, QString> before = fileStamps(m_appDir);
    report.libraryResult = updateQuotaLibrary(appPath);
    report.priceFilesInstalled = updatePriceFiles(appPath);
    report.installedFiles = changedFiles(before, fileStamps(m_appDir));
    for (const QString& file : report.installedFiles) log(QStringLiteral("  installed: ") + file);
    if (m_shown) open(*m_shown);  // the installed edition replaces the one on screen
    return report;
}

qint32 DemoWindow::updateQuotaLibrary(const QString& appPath) {
    const QString title = utf8(sample::names::kBuildingTitle);
    const QString call = QStringLiteral("UpdateDELibrary(%1)").arg(quoted(title));
    try {
        const qint32 code = modUpdate::UpdateDELibrary(
            title, appPath, appPath + utf8(sample::names::kDataDir) + QLatin1Char('/'));
        log(QStringLiteral("%1 = %2 (%3)").arg(call).arg(code).arg(resultText(code)));
        return code;
    } catch (const std::exception& e) {
        log(call + QStringLiteral(" failed: ") + QString::fromUtf8(e.what()));
        return -1;
    }
}

int DemoWindow::updatePriceFiles(const QString& appPath) {
    const QString set = utf8(sample::names::kMaterialKey);
    const QString call = QStringLiteral("UpdatePriceFiles(%1)").arg(quoted(set));
    try {
        const int installed = modUpdate::UpdatePriceFiles(
            set, appPath, appPath + utf8(sample::names::kDataDir) + QLatin1Char('/'));
        log(QStringLiteral("%1 = %2 (price files installed)").arg(call).arg(installed));
        return installed;
    } catch (const std::exception& e) {
        log(call + QStringLiteral(" failed: ") + QString::fromUtf8(e.what()));
        return 0;
    }
}

void DemoWindow::connectEvents() {
    using kx::KXView;
    auto row = [](qint32 id, const QString& code, const QString& key) {
        return QStringLiteral("p_RowID=%1, p_RowCode=%2, p_RowKey=%3").arg(id).arg(quoted(code), quoted(key));
    };
    auto dmid = [](qint32 id, const QString& key) {
        return QStringLiteral("p_DMID=%1, p_DEKey=%2").arg(id).arg(quoted(key));
    };
    connect(m_view, &KXView::CallMate, this, [=, this](qint32 id, const QString& code, const QString& key) {
        log(QStringLiteral("CallMate(") + row(id, code, key) + QLatin1Char(')'));
    });
    connect(m_view, &KXView::DoubleClickMate, this,
            [=, this](qint32 id, const QString& code, const QString& key) {
                log(QStringLiteral("DoubleClickMate(") + row(id, code, key) + QLatin1Char(')'));
            });
    connect(m_view, &KXView::CloseMe, this, [this] { log(QStringLiteral("CloseMe()")); });
    connect(m_view, &KXView::CallDE, this,
            [=, this](qint32 id, const QString& code, const QString& key, qint16 hs) {
                log(QStringLiteral("CallDE(%1, p_HSCode=%2)").arg(row(id, code, key)).arg(hs));
            });
    connect(m_view, &KXView::DoubleClickDE, this,
            [=, this](qint32 id, const QString& code, const QString& key, qint16 hs) {
                log(QStringLiteral("DoubleClickDE(%1, p_HSCode=%2)").arg(row(id, code, key)).arg(hs));
            });
    connect(m_view, &KXView::DoubleClickDataBook, this, [this](const QString& code) {
        log(QStringLiteral("DoubleClickDataBook(p_Code=%1)").arg(quoted(code)));
    });
    connect(m_view, &KXView::CallDEEditRecord, this, [=, this](qint32 id, const QString& key) {
        log(QStringLiteral("CallDEEditRecord(") + dmid(id, key) + QLatin1Char(')'));
    });
    connect(m_view, &KXView::CallDELink, this, [=, this](qint32 id, const QString& key) {
        log(QStringLiteral("CallDELink(") + dmid(id, key) + QLatin1Char(')'));
    });
}

void DemoWindow::log(const QString& line) {
    m_log->appendPlainText(line);
}

}  // namespace demo
