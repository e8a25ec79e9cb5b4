// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLayout>
#include <QList>
#include <QWidget>

#include <vector>

namespace kestrix::ui {

// Lays its items out in a row and wraps them onto further rows when the width runs short, as text
// wraps; each item keeps its size hint. So a panel of tool groups narrows without clipping any of them.
class FlowLayout final : public QLayout
{
public:
    explicit FlowLayout(QWidget* parent = nullptr);
    ~FlowLayout() override;
    FlowLayout(const FlowLayout&) = delete;
    FlowLayout& operator=(const FlowLayout&) = delete;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int intIndex) const override;
    QLayoutItem* takeAt(int intIndex) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int intWidth) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

    // Adds controls side by side as one item, a widget of parent named strName: they wrap together.
    QWidget* addGroup(QWidget& parent, const char* strName, const std::vector<QWidget*>& controls);

private:
    // Places the items in rect (only measures when blnMeasureOnly) and returns the height used.
    int arrange(const QRect& rect, bool blnMeasureOnly) const;

    QList<QLayoutItem*> items;
};

} // namespace kestrix::ui
