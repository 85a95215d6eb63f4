// Draws a folder row as its name followed by the count in bold, in the
// palette's link colour so that it reads in light and dark themes alike.
#pragma once

#include <QStyledItemDelegate>

namespace KestrinGui {

class FolderRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace KestrinGui
