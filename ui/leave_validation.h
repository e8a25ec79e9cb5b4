// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace kestrix::ui {

// Validation on leaving for the fields of one window. A field's check runs when the focus is about to
// move from it to another control of the window: by Tab or Backtab, or by a mouse press on a control
// that takes the focus on a click (buttons included). A check that sets its cancel flag keeps the focus
// in the field and drops the key or the press, so a refused entry never reaches a button's click.
//
// Exempt controls (an exit button) take no part: moving to them runs no check, and the field stays
// due for its check, which runs when the focus later moves from the exempt control to any other one.
// Closing the window or switching to another application runs nothing.
//
// The check has to run before the move, and Qt moves the focus for a click before any filter on the
// clicked widget sees it; so presses are taken where they enter the window, on its QWindow.
class LeaveValidation final : public QObject
{
public:
    using Check = std::function<void(bool& blnCancel)>;

    explicit LeaveValidation(QWidget& window);
    ~LeaveValidation() override;
    LeaveValidation(const LeaveValidation&) = delete;
    LeaveValidation& operator=(const LeaveValidation&) = delete;

    void addField(QWidget* field, Check check);
    void addExempt(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Field
    {
        QWidget* control;
        Check check;
    };

    // Runs the due check before a move to target; false when the move is to be dropped.
    bool allowMoveTo(QWidget* target);
    bool handleTab(QObject* watched, QEvent* event);
    bool handlePress(QObject* watched, QEvent* event);
    QWidget* controlOf(QWidget* widget) const;
    QWidget* tabTarget(bool blnForward) const;
    const Field* fieldOf(const QWidget* control) const;
    bool isExempt(const QWidget* control) const;
    void focusChanged(QWidget* old, QWidget* now);

    QWidget& window;
    std::vector<Field> fields;
    std::vector<QWidget*> exempt;
    QPointer<QWidget> due;    // the field whose leaving has not been checked yet
    bool blnChecking = false; // a check's message box is open
};

} // namespace kestrix::ui
