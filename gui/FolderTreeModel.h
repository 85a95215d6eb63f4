// The folder tree as a Qt item model over app/'s nodes. Column 0 holds the
// check box (the standard check-state role, so assistive tools read it), the
// icon, the name and the count; column 1 the close button of a header row.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include "app/FolderViewController.h"

class QTreeView;

namespace KestrinGui {

class FolderTreeModel : public QAbstractItemModel, public KestrinApp::IFolderTreeView {
    Q_OBJECT
public:
    FolderTreeModel(KestrinApp::FolderViewController& controller, QObject* parent = nullptr);

    // The view to keep expanded after every reload.
    void SetTreeView(QTreeView* view) { m_treeView = view; }
    // The modifiers of the mouse or key event that is toggling a box; the
    // view reports them, since the delegate does not pass them on.
    void SetEventModifiers(Qt::KeyboardModifiers modifiers) { m_eventModifiers = modifiers; }

    // Roles beyond Qt's.
    enum Role { NameRole = Qt::UserRole + 1, CountRole, HeaderRowRole };

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    std::shared_ptr<KestrinApp::TreeNode> NodeAt(const QModelIndex& index) const;
    QModelIndex IndexOf(const KestrinApp::TreeNode* node, int column = 0) const;
    // A check-box click on a row; excludeSubfolders is the exclude-subfolders
    // click (Option on macOS, Ctrl elsewhere).
    void ClickCheckBox(const QModelIndex& index, bool checked, bool excludeSubfolders);

    // IFolderTreeView.
    void TreeWillChange() override;
    void ReloadTree() override;
    void Redraw() override;
    void ExpandAll() override;
    void SelectionStateChanged() override { emit selectionStateChanged(); }

    // The modifier of the exclude-subfolders click on this system.
    static Qt::KeyboardModifier ExcludeModifier();
    static QString ExcludeTooltip();

signals:
    void selectionStateChanged();

private:
    void EmitDataChanged(const QModelIndex& parent);

    KestrinApp::FolderViewController& m_controller;
    QTreeView* m_treeView = nullptr;
    bool m_resetting = false;
    Qt::KeyboardModifiers m_eventModifiers;
    QIcon m_folderIcon;
    QIcon m_storeIcon;
    QIcon m_contactsIcon;
    QIcon m_calendarIcon;
    QIcon m_closeIcon;
};

}  // namespace KestrinGui
