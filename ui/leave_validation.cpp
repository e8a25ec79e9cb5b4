// SPDX-License-Identifier: GPL-3.0-or-later
#include "leave_validation.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include <algorithm>

namespace kestrix::ui {

LeaveValidation::LeaveValidation(QWidget& window_) : QObject(&window_), window(window_)
{
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, &LeaveValidation::focusChanged);
}

LeaveValidation::~LeaveValidation()
{
    qApp->removeEventFilter(this);
}

void LeaveValidation::addField(QWidget* field, Check check)
{
    fields.push_back(Field{field, std::move(check)});
    if (window.focusWidget() == field) {
        due = field;
    }
}

void LeaveValidation::addExempt(QWidget* control)
{
    exempt.push_back(control);
}

bool LeaveValidation::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleTab(watched, event);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return handlePress(watched, event);
    default:
        return false;
    }
}

bool LeaveValidation::handleTab(QObject* watched, QEvent* event)
{
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const bool blnTab = keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab;
    // Ctrl+Tab and Alt+Tab do not move between the fields; the key is looked at once, on the focus widget.
    if (!blnTab || (keyEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0 || !due ||
        watched != QApplication::focusWidget()) {
        return false;
    }
    const bool blnForward = keyEvent->key() == Qt::Key_Tab && (keyEvent->modifiers() & Qt::ShiftModifier) == 0;
    return !allowMoveTo(tabTarget(blnForward));
}

bool LeaveValidation::handlePress(QObject* watched, QEvent* event)
{
    // The fields may sit in a larger window (beside the spectrum view): presses enter through it.
    QWidget* const topLevel = window.window();
    if (!due || topLevel->windowHandle() == nullptr || watched != topLevel->windowHandle()) {
        return false;
    }
    const auto* mouseEvent = static_cast<QMouseEvent*>(event);
    QWidget* target = controlOf(topLevel->childAt(mouseEvent->position().toPoint()));
    // A click on a label, on the bare window or on a disabled control moves no focus.
    if (target == nullptr || !target->isEnabled() || (target->focusPolicy() & Qt::ClickFocus) == 0) {
        return false;
    }
    return !allowMoveTo(target);
}

bool LeaveValidation::allowMoveTo(QWidget* target)
{
    if (!due || target == nullptr || target == due || isExempt(target)) {
        return true;
    }
    if (blnChecking) {
        return false;
    }
    const Field* field = fieldOf(due);
    if (field == nullptr) {
        return true;
    }
    QWidget* const fieldControl = due;
    bool blnCancel = false;
    blnChecking = true;
    field->check(blnCancel);
    blnChecking = false;
    if (blnCancel) {
        fieldControl->setFocus(Qt::OtherFocusReason);
        return false;
    }
    due = nullptr;
    return true;
}

QWidget* LeaveValidation::controlOf(QWidget* widget) const
{
    // The control that a press on widget gives the focus to: the widget itself or the nearest
    // container that takes the focus for it (a list's viewport, a combo box's parts).
    QWidget* const topLevel = window.window();
    for (; widget != nullptr && widget != topLevel; widget = widget->parentWidget()) {
        QWidget* const control = widget->focusProxy() != nullptr ? widget->focusProxy() : widget;
        if ((control->focusPolicy() & Qt::ClickFocus) != 0) {
            return control;
        }
        if (widget->parentWidget() == &window) {
            return widget; // a label or the like of the window itself: moves no focus
        }
    }
    return nullptr;
}

QWidget* LeaveValidation::tabTarget(bool blnForward) const
{
    QWidget* const start = QApplication::focusWidget();
    if (start == nullptr) {
        return nullptr;
    }
    QWidget* candidate = start;
    do {
        candidate = blnForward ? candidate->nextInFocusChain() : candidate->previousInFocusChain();
        const bool blnTakesTab = (candidate->focusPolicy() & Qt::TabFocus) != 0 && candidate->isEnabled() &&
                                 candidate->isVisibleTo(window.window()) && candidate->window() == window.window();
        if (blnTakesTab) {
            return candidate;
        }
    } while (candidate != start);
    return nullptr;
}

const LeaveValidation::Field* LeaveValidation::fieldOf(const QWidget* control) const
{
    const auto found =
        std::find_if(fields.begin(), fields.end(), [control](const Field& field) { return field.control == control; });
    return found == fields.end() ? nullptr : &*found;
}

bool LeaveValidation::isExempt(const QWidget* control) const
{
    return std::find(exempt.begin(), exempt.end(), control) != exempt.end();
}

void LeaveValidation::focusChanged(QWidget* /*old*/, QWidget* now)
{
    if (now != nullptr && fieldOf(now) != nullptr) {
        due = now;
    }
}

} // namespace kestrix::ui
