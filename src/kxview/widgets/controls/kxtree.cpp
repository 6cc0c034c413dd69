#include "widgets/controls/kxtree.h"

#include <QAbstractItemModel>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <limits>
#include <map>

#include "core/db/dbengine.h"
#include "core/io/filesystem.h"
#include "kxview/errors.h"

namespace kx {
namespace {

const QString kCatalogueTable = QStringLiteral("Index");

struct TreeNode {
    qint16 id = 0;
    int parent = -1;            // position of the parent node; -1 at top level
    int row = 0;                // position among its siblings
    std::vector<int> children;  // positions of the children, in display order
    QString text;
    qint16 image = 0;
    qint16 selectedImage = 0;
    bool expanded = false;
    bool hasFile = false;
};

/// One row of the loaded table, as the tree uses it.
struct TableRow {
    qint16 id = 0;
    qint64 parentId = 0;
    QString name;
    std::optional<qint64> order;
    bool hasFile = false;
};

/// The nodes of the tree in collection order, as a Qt model (one column).
class TreeModel : public QAbstractItemModel {
public:
    using QAbstractItemModel::QAbstractItemModel;

    std::vector<TreeNode> nodes;
    std::vector<int> topLevel;
    int selected = -1;  // position of the selected node, whose selected image shows
    QList<QIcon> images;

    void replace(std::vector<TreeNode> newNodes, std::vector<int> newTopLevel) {
        beginResetModel();
        nodes = std::move(newNodes);
        topLevel = std::move(newTopLevel);
        selected = -1;
        endResetModel();
    }

    /// Appends a node under `parent` (-1: top level), last among its siblings and last in collection order.
    int append(TreeNode node, int parent) {
        std::vector<int>& siblings = siblingsOf(parent);
        const int position = static_cast<int>(nodes.size());
        node.parent = parent;
        node.row = static_cast<int>(siblings.size());
        beginInsertRows(indexOf(parent), node.row, node.row);
        nodes.push_back(std::move(node));
        siblings.push_back(position);
        endInsertRows();
        return position;
    }

    std::vector<int>& siblingsOf(int parent) {
        return parent < 0 ? topLevel : nodes[static_cast<size_t>(parent)].children;
    }
    const std::vector<int>& siblingsOf(int parent) const {
        return parent < 0 ? topLevel : nodes[static_cast<size_t>(parent)].children;
    }

    QModelIndex indexOf(int position) const {
        if (position < 0) return {};
        return createIndex(nodes[static_cast<size_t>(position)].row, 0, static_cast<quintptr>(position));
    }
    static int positionOf(const QModelIndex& index) {
        return index.isValid() ? static_cast<int>(index.internalId()) : -1;
    }

    void setSelected(int position) {
        const int old = selected;
        selected = position;
        for (int p : {old, position}) {
            if (p >= 0) emit dataChanged(indexOf(p), indexOf(p), {Qt::DecorationRole});
        }
    }

    void imagesChanged(int position) {
        emit dataChanged(indexOf(position), indexOf(position), {Qt::DecorationRole});
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override {
        if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0)) return {};
        const std::vector<int>& siblings = siblingsOf(positionOf(parent));
        if (row >= static_cast<int>(siblings.size())) return {};
        return createIndex(row, 0, static_cast<quintptr>(siblings[static_cast<size_t>(row)]));
    }
    QModelIndex parent(const QModelIndex& child) const override {
        if (!child.isValid()) return {};
        return indexOf(nodes[static_cast<size_t>(positionOf(child))].parent);
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        if (parent.isValid() && parent.column() != 0) return 0;
        return static_cast<int>(siblingsOf(positionOf(parent)).size());
    }
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
        const int position = positionOf(index);
        const TreeNode& node = nodes[static_cast<size_t>(position)];
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return node.text;
        if (role == Qt::DecorationRole) {
            const int image = position == selected ? node.selectedImage : node.image;
            if (image >= 1 && image <= images.size()) return images[image - 1];
        }
        return {};
    }
};

/// The view, reporting selections the user makes with the keyboard.
class NodeView : public QTreeView {
public:
    using QTreeView::QTreeView;
    std::function<void(const QModelIndex&)> onKeyboardSelection;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QModelIndex before = currentIndex();
        QTreeView::keyPressEvent(event);
        if (currentIndex().isValid() && currentIndex() != before && onKeyboardSelection)
            onKeyboardSelection(currentIndex());
    }
};

bool hasField(const QStringList& fields, const QString& name) {
    return fields.contains(name, Qt::CaseInsensitive);
}

qint16 nodeId(qint64 id) {
    if (id < std::numeric_limits<qint16>::min() || id > std::numeric_limits<qint16>::max())
        throw ControlError("tree node ID " + std::to_string(id) + " is beyond the 16-bit range");
    return static_cast<qint16>(id);
}

std::vector<TableRow> readRows(Database& db, const QString& table, QStringList& fields) {
    auto rs = db.OpenRecordset(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'));
    fields = rs->FieldNames();
    const bool ordered = hasField(fields, QStringLiteral("OCode"));
    const bool files = hasField(fields, QStringLiteral("WithFileName"));
    std::vector<TableRow> rows;
    for (; !rs->isEOF(); rs->MoveNext()) {
        TableRow row;
        row.id = nodeId(rs->Value(QStringLiteral("ID")).toLongLong());
        row.parentId = rs->Value(QStringLiteral("ParentID")).toLongLong();
        row.name = rs->Text(QStringLiteral("Name"));
        const QVariant order = ordered ? rs->Value(QStringLiteral("OCode")) : QVariant();
        if (order.isValid()) row.order = order.toLongLong();
        row.hasFile = files && !rs->Text(QStringLiteral("WithFileName")).isEmpty();
        rows.push_back(std::move(row));
    }
    return rows;
}

/// Siblings in OCode order (rows without one last), then by ID.
bool siblingBefore(const TableRow& a, const TableRow& b) {
    if (a.order.has_value() != b.order.has_value()) return a.order.has_value();
    if (a.order != b.order) return *a.order < *b.order;
    return a.id < b.id;
}

/// The nodes of `rows` in collection order below `root` (-1: at top level of `nodes`).
void appendRows(const std::vector<TableRow>& rows, qint16 image, std::vector<TreeNode>& nodes,
                std::vector<int>& topLevel, int root) {
    std::map<qint64, size_t> rowById;
    for (size_t i = 0; i < rows.size(); ++i) rowById.emplace(rows[i].id, i);
    std::vector<std::vector<size_t>> children(rows.size());
    std::vector<size_t> tops;
    for (size_t i = 0; i < rows.size(); ++i) {
        auto parent = rowById.find(rows[i].parentId);
        if (rows[i].parentId != 0 && parent != rowById.end() && parent->second != i) {
            children[parent->second].push_back(i);
        } else {
            tops.push_back(i);
        }
    }
    auto byOrder = [&](size_t a, size_t b) { return siblingBefore(rows[a], rows[b]); };
    for (auto& list : children) std::sort(list.begin(), list.end(), byOrder);
    std::sort(tops.begin(), tops.end(), byOrder);

    std::vector<bool> placed(rows.size(), false);
    auto place = [&](size_t first, int parent) {
        // Depth first with an explicit stack: a deep table cannot exhaust the call stack.
        std::vector<std::pair<size_t, int>> stack{{first, parent}};
        while (!stack.empty()) {
            auto [i, parentPosition] = stack.back();
            stack.pop_back();
            if (placed[i]) continue;
            placed[i] = true;
            TreeNode node;
            node.id = rows[i].id;
            node.text = rows[i].name;
            node.hasFile = rows[i].hasFile;
            node.image = node.selectedImage = image;
            node.parent = parentPosition;
            const int position = static_cast<int>(nodes.size());
            std::vector<int>& siblings =
                parentPosition < 0 ? topLevel : nodes[static_cast<size_t>(parentPosition)].children;
            node.row = static_cast<int>(siblings.size());
            siblings.push_back(position);
            nodes.push_back(std::move(node));
            for (auto child = children[i].rbegin(); child != children[i].rend(); ++child)
                stack.emplace_back(*child, position);
        }
    };
    for (size_t top : tops) place(top, root);
    // Rows whose parents form a cycle are reached from no top-level row: they go to the top level.
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!placed[i]) place(i, root);
    }
}

}  // namespace

struct KXTree::Private {
    explicit Private(KXTree& tree) : q(tree), view(new NodeView(&tree)), model(new TreeModel(&tree)) {}

    KXTree& q;
    NodeView* view;
    TreeModel* model;
    QString dbFullName;
    QString table;
    QStringList fields;
    std::optional<qint32> defaultId;
    qint16 nodeImage = 0;

    TreeNode& nodeAt(int position) { return model->nodes[static_cast<size_t>(position)]; }

    int checkedPosition(qint16 index) const {
        if (index < 1 || index > static_cast<int>(model->nodes.size()))
            throw ControlError("Subscript out of range: node " + std::to_string(index) + " of " +
                               std::to_string(model->nodes.size()));
        return index - 1;
    }

    int positionOfId(qint64 id) const {
        for (size_t p = 0; p < model->nodes.size(); ++p) {
            if (model->nodes[p].id == id) return static_cast<int>(p);
        }
        return -1;
    }

    int selectedPosition() const { return TreeModel::positionOf(view->currentIndex()); }

    void select(int position) {
        if (position < 0) {
            view->setCurrentIndex({});
            view->clearSelection();
            return;
        }
        for (int p = nodeAt(position).parent; p >= 0; p = nodeAt(p).parent) setExpanded(p, true);
        view->setCurrentIndex(model->indexOf(position));
        view->scrollTo(model->indexOf(position));
    }

    void setExpanded(int position, bool expanded) {
        nodeAt(position).expanded = expanded;
        view->setExpanded(model->indexOf(position), expanded);
    }

    void applyExpanded() {
        for (size_t p = 0; p < model->nodes.size(); ++p)
            view->setExpanded(model->indexOf(static_cast<int>(p)), model->nodes[p].expanded);
    }

    void emitNode(void (KXTree::*signal)(qint16, const QString&), const QModelIndex& index) {
        const TreeNode& node = nodeAt(TreeModel::positionOf(index));
        emit(q.*signal)(node.id, node.text);
    }

    bool isCategoryTable() const { return table != kCatalogueTable; }

    /// The largest value of a numeric field of the loaded table (0 for an empty table).
    qint64 maxValue(Database& db, const QString& field) const {
        auto rs = db.OpenRecordset(QStringLiteral("SELECT MAX(") + field +
                                   QStringLiteral(") AS MaxValue FROM [") + table + QLatin1Char(']'));
        return rs->Value(QStringLiteral("MaxValue")).toLongLong();
    }

    void checkLoaded() const {
        if (table.isEmpty()) throw ControlError("the tree has no table loaded");
    }
};

QString KXTree::Node::Text() const {
    return m_tree->d->nodeAt(m_position).text;
}

bool KXTree::Node::Selected() const {
    return m_tree->d->selectedPosition() == m_position;
}

void KXTree::Node::setSelected(bool selected) {
    if (selected) {
        m_tree->d->select(m_position);
    } else if (Selected()) {
        m_tree->d->select(-1);
    }
}

bool KXTree::Node::Expanded() const {
    return m_tree->d->nodeAt(m_position).expanded;
}

void KXTree::Node::setExpanded(bool expanded) {
    m_tree->d->setExpanded(m_position, expanded);
}

qint16 KXTree::Node::Image() const {
    return m_tree->d->nodeAt(m_position).image;
}

void KXTree::Node::setImage(qint16 image) {
    m_tree->d->nodeAt(m_position).image = image;
    m_tree->d->model->imagesChanged(m_position);
}

qint16 KXTree::Node::SelectedImage() const {
    return m_tree->d->nodeAt(m_position).selectedImage;
}

void KXTree::Node::setSelectedImage(qint16 image) {
    m_tree->d->nodeAt(m_position).selectedImage = image;
    m_tree->d->model->imagesChanged(m_position);
}

KXTree::KXTree(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(*this)) {
    d->view->setObjectName(QStringLiteral("treeView"));
    d->view->setHeaderHidden(true);
    d->view->setModel(d->model);
    d->view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    d->view->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->view);

    connect(d->view, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { d->emitNode(&KXTree::NodeClick, index); });
    connect(d->view, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { d->emitNode(&KXTree::NodeDblClick, index); });
    d->view->onKeyboardSelection = [this](const QModelIndex& index) {
        d->emitNode(&KXTree::NodeClick, index);
    };
    connect(d->view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { d->model->setSelected(TreeModel::positionOf(current)); });
    connect(d->view, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { d->nodeAt(TreeModel::positionOf(index)).expanded = true; });
    connect(d->view, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { d->nodeAt(TreeModel::positionOf(index)).expanded = false; });
}

KXTree::~KXTree() = default;

void KXTree::LoadTree(const QString& p_dbFullName, const QString& p_Table) {
    auto db = openDatabase(p_dbFullName);
    QStringList fields;
    const std::vector<TableRow> rows = readRows(*db, p_Table, fields);
    db->Close();

    std::vector<TreeNode> nodes;
    std::vector<int> topLevel;
    int root = -1;
    if (p_Table != kCatalogueTable) {
        TreeNode library;
        library.text = QFileInfo(fs::withSlashes(p_dbFullName)).completeBaseName();
        library.image = library.selectedImage = d->nodeImage;
        library.expanded = true;
        nodes.push_back(std::move(library));
        topLevel.push_back(0);
        root = 0;
    }
    appendRows(rows, d->nodeImage, nodes, topLevel, root);

    d->dbFullName = p_dbFullName;
    d->table = p_Table;
    d->fields = fields;
    d->model->replace(std::move(nodes), std::move(topLevel));
    d->applyExpanded();
    d->select(d->defaultId ? d->positionOfId(*d->defaultId) : -1);
}

void KXTree::setDefaultID(qint32 id) {
    d->defaultId = id;
}

qint16 KXTree::NodeCount() const {
    return static_cast<qint16>(d->model->nodes.size());
}

KXTree::Node KXTree::NodeAt(qint16 index) {
    return Node(*this, d->checkedPosition(index));
}

qint16 KXTree::SelectedID() const {
    const int position = d->selectedPosition();
    return position < 0 ? 0 : d->model->nodes[static_cast<size_t>(position)].id;
}

qint16 KXTree::SelectedIndex() const {
    return static_cast<qint16>(d->selectedPosition() + 1);
}

qint16 KXTree::NodeID(qint16 index) const {
    return d->model->nodes[static_cast<size_t>(d->checkedPosition(index))].id;
}

QString KXTree::NodeText(qint16 index) const {
    return d->model->nodes[static_cast<size_t>(d->checkedPosition(index))].text;
}

void KXTree::setNodeExpanded(qint16 index, bool expanded) {
    d->setExpanded(d->checkedPosition(index), expanded);
}

qint16 KXTree::NodeImage() const {
    return d->nodeImage;
}

void KXTree::setNodeImage(qint16 image) {
    d->nodeImage = image;
}

void KXTree::setImageList(const QList<QIcon>& images) {
    d->model->images = images;
    d->view->viewport()->update();
}

void KXTree::AddNode(const QString& caption) {
    d->checkLoaded();
    const int selected = d->selectedPosition();
    int parent = selected < 0 ? -1 : d->nodeAt(selected).parent;
    if (parent < 0 && d->isCategoryTable()) parent = 0;  // category rows hang below the library node
    const qint64 parentRowId = parent < 0 ? 0 : d->nodeAt(parent).id;

    auto db = openDatabase(d->dbFullName);
    auto rs =
        db->OpenRecordset(QStringLiteral("SELECT * FROM [") + d->table + QStringLiteral("] WHERE ID=0"));
    rs->AddNew();
    rs->SetValue(QStringLiteral("Name"), caption);
    rs->SetValue(QStringLiteral("ParentID"), parentRowId);
    if (hasField(rs->FieldNames(), QStringLiteral("OCode")))
        rs->SetValue(QStringLiteral("OCode"), d->maxValue(*db, QStringLiteral("OCode")) + 1);
    rs->Update();
    const qint16 id = nodeId(d->maxValue(*db, QStringLiteral("ID")));
    db->Close();

    TreeNode node;
    node.id = id;
    node.text = caption;
    node.image = node.selectedImage = d->nodeImage;
    d->select(d->model->append(std::move(node), parent));
}

void KXTree::DeleteSelected() {
    d->checkLoaded();
    const int selected = d->selectedPosition();
    if (selected < 0) throw ControlError("no node is selected");
    if (d->isCategoryTable() && selected == 0) throw ControlError("the library node has no row to delete");
    auto db = openDatabase(d->dbFullName);
    db->Execute(QStringLiteral("DELETE FROM [") + d->table + QStringLiteral("] WHERE ID=") +
                QString::number(d->nodeAt(selected).id));
    db->Close();

    // Rebuild the nodes without the deleted one and its descendants, keeping collection order.
    std::vector<bool> removed(d->model->nodes.size(), false);
    for (size_t p = 0; p < removed.size(); ++p) {
        const int parent = d->model->nodes[p].parent;
        removed[p] = static_cast<int>(p) == selected || (parent >= 0 && removed[static_cast<size_t>(parent)]);
    }
    std::vector<int> newPosition(removed.size(), -1);
    std::vector<TreeNode> nodes;
    std::vector<int> topLevel;
    for (size_t p = 0; p < removed.size(); ++p) {
        if (removed[p]) continue;
        TreeNode node = d->model->nodes[p];
        node.children.clear();
        node.parent = node.parent < 0 ? -1 : newPosition[static_cast<size_t>(node.parent)];
        newPosition[p] = static_cast<int>(nodes.size());
        std::vector<int>& siblings =
            node.parent < 0 ? topLevel : nodes[static_cast<size_t>(node.parent)].children;
        node.row = static_cast<int>(siblings.size());
        siblings.push_back(static_cast<int>(nodes.size()));
        nodes.push_back(std::move(node));
    }
    d->model->replace(std::move(nodes), std::move(topLevel));
    d->applyExpanded();
}

bool KXTree::TestNode(qint16 id) const {
    const int position = d->positionOfId(id);
    if (position < 0) return false;
    const TreeNode& node = d->model->nodes[static_cast<size_t>(position)];
    if (hasField(d->fields, QStringLiteral("WithFileName"))) return node.hasFile;
    return node.children.empty();
}

void KXTree::SetNodeImages(qint16 index, qint16 image) {
    Node node = NodeAt(index);
    node.setImage(image);
    node.setSelectedImage(image);
}

}  // namespace kx
