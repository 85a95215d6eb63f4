#include "gui/FolderTreeModel.h"

#include <QApplication>
#include <QFont>
#include <QStyle>
#include <QTreeView>

#include "gui/QtFrontEnd.h"

namespace KestrinGui {

using KestrinApp::TreeNode;

FolderTreeModel::FolderTreeModel(KestrinApp::FolderViewController& controller, QObject* parent)
    : QAbstractItemModel(parent), m_controller(controller)
{
    QStyle* style = QApplication::style();
    m_folderIcon = style->standardIcon(QStyle::SP_DirIcon);
    m_storeIcon = QIcon(QStringLiteral(":/kestrin/kestrin.svg"));
    m_contactsIcon = style->standardIcon(QStyle::SP_FileDialogContentsView);
    m_calendarIcon = style->standardIcon(QStyle::SP_FileDialogDetailedView);
    m_closeIcon = style->standardIcon(QStyle::SP_TitleBarCloseButton);
}

Qt::KeyboardModifier FolderTreeModel::ExcludeModifier()
{
#ifdef Q_OS_MACOS
    // Qt calls the Option key Alt.
    return Qt::AltModifier;
#else
    return Qt::ControlModifier;
#endif
}

QString FolderTreeModel::ExcludeTooltip()
{
#ifdef Q_OS_MACOS
    return tr("Option + click to exclude subfolders from selection.");
#else
    return tr("Ctrl + click to exclude subfolders from selection.");
#endif
}

std::shared_ptr<TreeNode> FolderTreeModel::NodeAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return m_controller.RootNode();
    auto* node = static_cast<TreeNode*>(index.internalPointer());
    return node ? node->shared_from_this() : nullptr;
}

QModelIndex FolderTreeModel::IndexOf(const TreeNode* node, int column) const
{
    if (!node || node == m_controller.RootNode().get())
        return {};
    const int row = node->Row();
    return row < 0 ? QModelIndex() : createIndex(row, column, const_cast<TreeNode*>(node));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= 2)
        return {};
    const auto node = NodeAt(parent);
    if (!node)
        return {};
    const auto child = node->ChildAtIndex(static_cast<size_t>(row));
    return child ? createIndex(row, column, child.get()) : QModelIndex();
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const auto* node = static_cast<TreeNode*>(child.internalPointer());
    const auto parent = node->Parent();
    return parent ? IndexOf(parent.get()) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const auto node = NodeAt(parent);
    return node ? static_cast<int>(node->NumberOfChildren()) : 0;
}

int FolderTreeModel::columnCount(const QModelIndex&) const
{
    return 2;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const
{
    const auto node = NodeAt(index);
    if (!index.isValid() || !node || !node->NodeData())
        return {};
    const auto& data = *node->NodeData();
    const bool header = m_controller.IsHeaderRow(node);

    if (index.column() == 1) {
        if (!header)
            return {};
        switch (role) {
        case Qt::DecorationRole:
            return m_closeIcon;
        case Qt::ToolTipRole:
        case Qt::AccessibleTextRole:
            return tr("Close this mail folder");
        default:
            return {};
        }
    }

    switch (role) {
    case Qt::DisplayRole:
        return ToQString(data.RowText());
    case NameRole:
        return ToQString(data.Name());
    case CountRole:
        return ToQString(data.CountText()).trimmed();
    case HeaderRowRole:
        return header;
    case Qt::CheckStateRole:
        if (header)
            return {};
        switch (m_controller.GetTickState(node)) {
        case KestrinApp::TickState::Ticked:
            return Qt::Checked;
        case KestrinApp::TickState::PartlyTicked:
            return Qt::PartiallyChecked;
        case KestrinApp::TickState::Unticked:
            break;
        }
        return Qt::Unchecked;
    case Qt::DecorationRole:
        switch (data.folderType) {
        case KestrinMIMEEngineCommon::kFolderKindRoot:
            return m_storeIcon;
        case KestrinMIMEEngineCommon::kFolderKindContacts:
            return m_contactsIcon;
        case KestrinMIMEEngineCommon::kFolderKindCalendar:
            return m_calendarIcon;
        default:
            return m_folderIcon;
        }
    case Qt::ToolTipRole: {
        const std::string tip = m_controller.Tooltip(node);
        if (tip.empty())
            return {};
        // The logic names the Mac's key; other systems use Ctrl.
        if (!header)
            return ExcludeTooltip();
        return ToQString(tip);
    }
    case Qt::AccessibleTextRole:
        return ToQString(m_controller.SpokenRowText(node, true));
    case Qt::AccessibleDescriptionRole:
        return ToQString(m_controller.SpokenRowText(node, false));
    case Qt::FontRole:
        if (header) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const auto node = NodeAt(index);
    if (index.column() == 0 && node && !m_controller.IsHeaderRow(node))
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0)
        return false;
    const bool exclude =
        (m_eventModifiers | QApplication::keyboardModifiers()) & ExcludeModifier();
    ClickCheckBox(index, value.toInt() == Qt::Checked, exclude);
    return true;
}

void FolderTreeModel::ClickCheckBox(const QModelIndex& index, bool checked, bool excludeSubfolders)
{
    const auto node = NodeAt(index);
    if (!index.isValid() || !node)
        return;
    if (m_controller.IsHeaderRow(node))
        return;
    m_controller.ClickCheckBox(node, checked, excludeSubfolders);
}

void FolderTreeModel::TreeWillChange()
{
    if (m_resetting)
        return;
    m_resetting = true;
    beginResetModel();
}

void FolderTreeModel::ReloadTree()
{
    if (!m_resetting)
        beginResetModel();
    m_resetting = false;
    endResetModel();
    // Every row stays open across a refresh.
    ExpandAll();
}

void FolderTreeModel::Redraw()
{
    if (m_resetting)
        return;
    EmitDataChanged(QModelIndex());
}

void FolderTreeModel::EmitDataChanged(const QModelIndex& parent)
{
    const int rows = rowCount(parent);
    if (rows == 0)
        return;
    emit dataChanged(index(0, 0, parent), index(rows - 1, 1, parent));
    for (int row = 0; row < rows; ++row)
        EmitDataChanged(index(row, 0, parent));
}

void FolderTreeModel::ExpandAll()
{
    if (m_treeView)
        m_treeView->expandAll();
}

}  // namespace KestrinGui
