#include "gui/ScreenFit.h"

#include <algorithm>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace KestrinGui {

void FitToScreen(QWidget* window)
{
    if (!window)
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // Before the first show the frame is not known: a title bar's worth.
    QSize frame = window->frameGeometry().size() - window->geometry().size();
    if (!window->isVisible() || frame.width() < 0 || frame.height() < 0)
        frame = QSize(0, 0);
    const QSize room = (available.size() - frame).expandedTo(QSize(1, 1));
    // Set explicitly, a minimum size overrides the one the layout asks for.
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
    if (minimum.width() > room.width() || minimum.height() > room.height())
        window->setMinimumSize(minimum.boundedTo(room));
    window->resize(window->size().boundedTo(room));
    QRect placed = window->frameGeometry();
    placed.moveRight(std::min(placed.right(), available.right()));
    placed.moveBottom(std::min(placed.bottom(), available.bottom()));
    placed.moveLeft(std::max(placed.left(), available.left()));
    placed.moveTop(std::max(placed.top(), available.top()));
    if (placed.topLeft() != window->frameGeometry().topLeft())
        window->move(placed.topLeft());
}

void ScreenFitter::Watch(QWidget* window)
{
    if (window)
        window->installEventFilter(this);
}

bool ScreenFitter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow())
            FitToScreen(widget);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace KestrinGui
