#include "gui/FolderRowDelegate.h"

#include <QApplication>
#include <QPainter>

#include "gui/FolderTreeModel.h"

namespace KestrinGui {

namespace {

QFont CountFont(const QFont& base)
{
    QFont font = base;
    font.setBold(true);
    return font;
}

constexpr int kGap = 8;

}  // namespace

void FolderRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The style draws the name; the count is drawn beside it.
    if (index.column() == 0)
        option->text = index.data(FolderTreeModel::NameRole).toString();
}

void FolderRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QString count = index.data(FolderTreeModel::CountRole).toString();
    if (index.column() != 0 || count.isEmpty())
        return;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int nameWidth = opt.fontMetrics.horizontalAdvance(opt.text) + kGap;
    QRect countRect = textRect.adjusted(nameWidth, 0, 0, 0);
    if (countRect.width() <= 0)
        return;
    painter->save();
    painter->setFont(CountFont(opt.font));
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Link));
    painter->drawText(countRect, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(painter->font()).elidedText(count, Qt::ElideRight,
                                                               countRect.width()));
    painter->restore();
}

QSize FolderRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString count = index.data(FolderTreeModel::CountRole).toString();
    if (index.column() == 0 && !count.isEmpty())
        size.rwidth() += QFontMetrics(CountFont(option.font)).horizontalAdvance(count) + kGap;
    return size;
}

}  // namespace KestrinGui
