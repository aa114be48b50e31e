// Small helpers shared by the windows for setting controls from the model.
#pragma once

#include <QAbstractButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace velmora {

// Sets a check box or radio button without raising its signals. An exclusive radio button
// cannot be switched off on its own, so that is done with its exclusiveness lifted for a moment.
inline void SetChecked(QAbstractButton* button, bool checked) {
    if (button->isChecked() == checked) {
        return;
    }
    const QSignalBlocker blocker(button);
    if (!checked && button->autoExclusive()) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    } else {
        button->setChecked(checked);
    }
}

inline void SetEnabled(QWidget* widget, bool enabled) {
    if (widget->isEnabled() != enabled) {
        widget->setEnabled(enabled);
    }
}

// Visible relative to its parent (the window itself may still be hidden).
inline void SetVisible(QWidget* widget, bool visible) {
    if (widget->isHidden() == visible) {
        widget->setVisible(visible);
    }
}

}  // namespace velmora
