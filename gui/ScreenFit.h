// Keeps windows within the screen they open on, whatever the scale factor:
// a window never starts, nor insists on being, larger than the screen's
// free area; what does not fit scrolls inside it.
#pragma once

#include <QObject>

class QWidget;

namespace KestrinGui {

// Bounds a top-level window's minimum size and size by the available area of
// its screen (less the frame the window manager adds) and moves it onto it.
void FitToScreen(QWidget* window);

// Fits every watched top-level window as it is shown.
class ScreenFitter : public QObject {
public:
    using QObject::QObject;
    // Watches the window from now on.
    void Watch(QWidget* window);
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace KestrinGui
