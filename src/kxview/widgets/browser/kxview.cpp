// The control itself: creation, state, public members, the persisted property, library opening and the
// layout of the constituent controls.
#include "kxview/kxview.h"

#include <QFont>
#include <QMetaEnum>
#include <QResizeEvent>

#include "core/data/modpub_db.h"
#include "core/services/logging.h"
#include "kxview/kxbar.h"
#include "kxview/propertystore.h"
#include "widgets/browser/frmpub_find.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/browser/library_profile.h"
#include "widgets/controls/framedpanel.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/richtextpane.h"
#include "widgets/controls/splitter.h"
#include "widgets/controls/twips.h"
#include "widgets/services/forms.h"
#include "widgets/services/guard.h"
#include "widgets/services/messageboxes.h"

namespace kx {
namespace {

const QString kFindStyleProperty = QStringLiteral("FindStyle");

// Design-time geometry, in twips, of the controls that the layout does not place for every kind.
constexpr TwipRect kDesignBox{0, 3000, 8000, 1800};
constexpr TwipRect kDesignHead{0, 4820, 8000, 1500};

/// The grid's font "宋体" falls back to the CJK fonts a system has when it lacks SimSun itself.
void registerGridFontFallbacks() {
    static const bool registered = [] {
        // SimSun's Latin letters are half as wide as its ideographs; Noto Sans Mono CJK keeps those metrics.
        QFont::insertSubstitutions(
            QStringLiteral("宋体"),
            {QStringLiteral("SimSun"), QStringLiteral("NSimSun"), QStringLiteral("Noto Sans Mono CJK SC"),
             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
        return true;
    }();
    Q_UNUSED(registered);
}

FramedPanel* makePanel(QWidget* parent, const char* name, const QColor& border) {
    auto* panel = new FramedPanel(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setCaption(QString());
    panel->setShowClose(false);
    panel->setBorderColor(border);
    return panel;
}

}  // namespace

KXView::Private::Private(KXView& view) : q(view) {
    createControls();
    prices = std::make_unique<PriceColumns>(*F, &q);
    lists = std::make_unique<ItemLists>(state, *F, *prices);
    related = std::make_unique<RelatedQuotas>(state, *F);
    pane = std::make_unique<DescriptionPane>(state, *F, *txtSM, *related);
    rows = std::make_unique<RowEvents>(state, *F, q);
    additions = std::make_unique<Additions>(BrowserParts{
        q, state, tree, box, F, txtSM, lists.get(), rows.get(), pane.get(), [this] { UserControl_Resize(); },
        [this](qint16 id, const QString& text) { tree_NodeClick(id, text); }});
    pickers = std::make_unique<LibraryPickers>(state, q, *prices);
}

void KXView::Private::createControls() {
    registerGridFontFallbacks();
    // The splitter lies beneath the controls placed over its panes.
    Sp = new PaneSplitter(&q);
    Sp->setObjectName(QStringLiteral("Sp"));
    tree = new KXTree(&q);
    tree->setObjectName(QStringLiteral("tree"));
    box = makePanel(&q, "box", QColor(128, 128, 128));
    F = new OutlineGrid(box);
    F->setObjectName(QStringLiteral("F"));
    F->setFont(QFont(QStringLiteral("宋体"), 9));
    KXHead1 = makePanel(&q, "KXHead1", QColor(224, 224, 224));
    txtSM = new RichTextPane(KXHead1);
    txtSM->setObjectName(QStringLiteral("txtSM"));
    toolbar = new KXBar(&q);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    setTwipGeometry(*box, kDesignBox);
    setTwipGeometry(*KXHead1, kDesignHead);
}

void KXView::Private::connectNotifications() {
    auto guarded = [this](const QString& what, auto handler) {
        return [this, what, handler](auto&&... args) { runGuarded(&q, what, [&] { handler(args...); }); };
    };
    QObject::connect(toolbar, &KXBar::CloseMe, &q, &KXView::CloseMe);
    QObject::connect(toolbar, &KXBar::ToolClickCall, &q,
                     guarded(QStringLiteral("call tool"), [this] { rows->F_DblClick(); }));
    QObject::connect(toolbar, &KXBar::ToolClickMateIndex, &q,
                     guarded(QStringLiteral("library tool"), [this] { pickers->SwitchLibrary(); }));
    QObject::connect(toolbar, &KXBar::ToolClickWithPrice, &q,
                     guarded(QStringLiteral("price tool"), [this] { pickers->SelectPriceFile(); }));
    QObject::connect(toolbar, &KXBar::ToolClickFind, &q,
                     guarded(QStringLiteral("find tool"), [this] { q.FindOne(); }));
    QObject::connect(toolbar, &KXBar::ToolClickLink, &q,
                     guarded(QStringLiteral("link tool"), [this] { rows->CallDELinkForRow(); }));
    QObject::connect(toolbar, &KXBar::ToolClickExExtend, &q, guarded(QStringLiteral("expand all"), [this] {
                         q.SetTreeExpandedState(QStringLiteral("全展开"));
                     }));
    QObject::connect(toolbar, &KXBar::ToolClickExClose, &q, guarded(QStringLiteral("collapse all"), [this] {
                         q.SetTreeExpandedState(QStringLiteral("全关闭"));
                     }));
    QObject::connect(tree, &KXTree::NodeClick, &q,
                     guarded(QStringLiteral("category click"),
                             [this](qint16 id, const QString& text) { tree_NodeClick(id, text); }));
    QObject::connect(F, &OutlineGrid::cellDoubleClicked, &q,
                     guarded(QStringLiteral("grid double-click"), [this] { rows->F_DblClick(); }));
    QObject::connect(F, &OutlineGrid::rowColChanged, &q, [this, guarded] {
        if (additions->describeCurrentRow()) return;  // a failure went to the status line
        guarded(QStringLiteral("row change"), [this] { pane->F_RowColChange(); })();
    });
    QObject::connect(F, &OutlineGrid::cellClicked, &q,
                     guarded(QStringLiteral("grid click"), [this] { rows->F_Click(); }));
    QObject::connect(F, &OutlineGrid::keyDown, &q,
                     guarded(QStringLiteral("grid key"),
                             [this](int key, Qt::KeyboardModifiers) { rows->F_KeyDown(key); }));
    QObject::connect(Sp, &PaneSplitter::panesChanged, &q, [this] { UserControl_Resize(); });
}

void KXView::Private::UserControl_Resize() {
    if (layingOut) return;
    layingOut = true;
    // Each placement that fails (a negative size) leaves its control where it was; the rest still move.
    const int W = toTwips(q.width());
    const int H = toTwips(q.height());
    const int T = twipGeometry(*toolbar).height;
    setTwipGeometry(*toolbar, {0, 0, W, T});
    setTwipGeometry(*Sp, {0, T, W, H - T});
    const int P1 = Sp->upperPaneHeight();
    const int P2 = Sp->lowerPaneTop();
    const int P3 = Sp->lowerPaneBottom();
    setTwipGeometry(*tree, {0, T, W, P1 * kTwipsPerPixel});
    const int lowerTop = T + P2 * kTwipsPerPixel;
    const int lowerHeight = (P3 - P2) * kTwipsPerPixel;
    auto placeGridInBox = [this] {
        const TwipRect b = twipGeometry(*box);
        setTwipGeometry(*F, {10, 10, b.width - 20, b.height - 30});
    };
    switch (state.profile().panes) {
        case LibraryProfile::Panes::GridAndDescription: {
            // The description panel keeps its height; the grid panel takes the rest, 20 twips above it.
            const int h = twipGeometry(*KXHead1).height;
            setTwipGeometry(*box, {0, lowerTop, W, lowerHeight - h - 30});
            placeGridInBox();
            const TwipRect b = twipGeometry(*box);
            setTwipGeometry(*KXHead1, {0, b.top + b.height + 20, W, h});
            const TwipRect head = twipGeometry(*KXHead1);
            setTwipGeometry(*txtSM, {10, 10, head.width - 30, head.height - 30});
            KXHead1->setVisible(true);
            break;
        }
        case LibraryProfile::Panes::GridOnly:
            setTwipGeometry(*box, {0, lowerTop, W, lowerHeight});
            placeGridInBox();
            KXHead1->setVisible(false);
            break;
        case LibraryProfile::Panes::Untouched:
            break;
    }
    additions->place();
    layingOut = false;
}

void KXView::Private::tree_NodeClick(qint16 p_ID, const QString&) {
    const char* table = state.profile().categoryTable;
    if (table == nullptr) return;  // no kind: no category table to read
    auto db = modPub_DB::OpenDB(state.DBFullName);
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM ") + QLatin1String(table) +
                                    QStringLiteral(" WHERE ID=") + QString::number(p_ID),
                                dbOpenDynaset);
    // A node without a row (the library node above the categories) lists nothing.
    if (!rs->isEOF()) q.LoadData(state.DBFullName, rs->Text(QStringLiteral("Class")));
    db->Close();
}

KXView::KXView(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(*this)) {
    useMessageBoxes();
    d->connectNotifications();
    d->lists->InitGrid();
}

KXView::~KXView() = default;

bool KXView::addition(Addition which) const {
    return d->additions->isOn(which);
}

void KXView::setAddition(Addition which, bool on) {
    d->additions->set(which, on);
}

void KXView::setAllAdditions(bool on) {
    const QMetaEnum additions = QMetaEnum::fromType<Addition>();
    for (int i = 0; i < additions.keyCount(); ++i) setAddition(static_cast<Addition>(additions.value(i)), on);
}

void KXView::SetItemMarksStore(PropertyStore* store) {
    d->additions->setMarksStore(store);
}

void KXView::SetAppPath(const QString& value) {
    d->state.AppPath = value;
}

void KXView::SetPriceDBFullPath(const QString& value) {
    d->state.PriceDBFullPath = value;
}

QString KXView::FindStyle() const {
    return d->state.FindStyle;
}

void KXView::setFindStyle(const QString& value) {
    d->state.FindStyle = value;
    emit FindStyleChanged();
}

void KXView::LoadData(const QString& p_dbFullName, const QString& p_Class) {
    const LibraryProfile& profile = d->state.profile();
    if (!profile.loadByClass) return;
    (d->lists.get()->*profile.loadByClass)(p_dbFullName, p_Class);
    d->additions->afterListing(Additions::ListOrigin::Category);
}

void KXView::Load(const QString& p_dbFullName) {
    d->lists->InitGrid();
    d->state.DBFullName = p_dbFullName;
    const LibraryProfile& profile = d->state.profile();
    if (profile.categoryTable) {
        d->tree->LoadTree(p_dbFullName, QLatin1String(profile.categoryTable));
        profile.indexTool ? d->toolbar->ShowTool_Index() : d->toolbar->HideTool_Index();
        profile.priceTool ? d->toolbar->ShowTool_WithPrice() : d->toolbar->HideTool_WithPrice();
        profile.linkTool ? d->toolbar->ShowTool_Link() : d->toolbar->HideTool_Link();
    }
    if (d->tree->NodeCount() >= 2) {
        d->tree->NodeAt(2).setSelected(true);
        d->tree_NodeClick(d->tree->SelectedID(), QString());
    }
    if (!d->state.PriceDBFullPath.isEmpty()) AddPriceColumn(d->state.PriceDBFullPath);
    d->UserControl_Resize();
    d->additions->afterLoad();
}

void KXView::FindOne() {
    frmPub_Find& form = sharedForm<frmPub_Find>();
    d->additions->beforeFind(form);
    form.ShowModal();
    if (form.GetUnloadState() != 0) return;
    // With pinyin find, a search by name also lists the items whose names the letters spell.
    const std::vector<qint32> byPinyin =
        d->additions->pinyinMatches(form.GetRangeKind(), form.GetFindKind(), form.GetFindName());
    if (byPinyin.empty()) {
        d->lists->listFound(form.GetRangeKind(), form.GetFindKind(), form.GetFindName());
    } else {
        d->lists->listFoundWith(form.GetRangeKind(), form.GetFindKind(), form.GetFindName(), byPinyin);
    }
    d->additions->afterListing(Additions::ListOrigin::Find, form.GetFindName());
    d->additions->afterFind();
}

qint32 KXView::GetSelectMateID() const {
    const int row = d->F->Row();
    return row >= 1 ? ItemRows(d->F->cells()).rowId(row) : 0;
}

QString KXView::GetSelectMateKey() const {
    return d->state.MateKey;
}

void KXView::AddPriceColumn(const QString& p_File) {
    d->prices->AddPriceColumn(p_File, d->state.profile().prices);
}

void KXView::ClearPrice() {
    d->prices->ClearPrice();
}

QString KXView::GetDBFullName() const {
    return d->state.DBFullName;
}

qint16 KXView::GetHSCode(qint16 p_Row) const {
    return ItemRows(d->F->cells()).hsCode(p_Row);
}

void KXView::LoadWithDE() {
    d->related->LoadWithDE();
}

void KXView::SetTreeExpandedState(const QString& p_Kind) {
    bool expanded = false;
    if (p_Kind == QStringLiteral("全关闭")) {
        expanded = false;
    } else if (p_Kind == QStringLiteral("全展开")) {
        expanded = true;
    } else {
        return;
    }
    const qint16 count = d->tree->NodeCount();
    for (qint16 index = 1; index <= count; ++index) d->tree->NodeAt(index).setExpanded(expanded);
}

void KXView::readProperties(const PropertyStore& store) {
    try {
        const std::optional<QVariant> stored = store.read(kFindStyleProperty);
        d->state.FindStyle = stored ? stored->toString() : QStringLiteral("Mate");
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "reading FindStyle failed:" << e.what();
    }
}

void KXView::writeProperties(PropertyStore& store) const {
    try {
        store.write(kFindStyleProperty, d->state.FindStyle);
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "writing FindStyle failed:" << e.what();
    }
}

void KXView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    d->UserControl_Resize();
}

}  // namespace kx
