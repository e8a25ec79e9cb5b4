// SPDX-License-Identifier: GPL-3.0-or-later
#include "flow_layout.h"

#include <QHBoxLayout>
#include <QWidget>

#include <algorithm>

namespace kestrix::ui {

FlowLayout::FlowLayout(QWidget* parent) : QLayout(parent) {}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void FlowLayout::addItem(QLayoutItem* item)
{
    items.append(item);
}

int FlowLayout::count() const
{
    return static_cast<int>(items.size());
}

QLayoutItem* FlowLayout::itemAt(int intIndex) const
{
    return intIndex >= 0 && intIndex < items.size() ? items.at(intIndex) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int intIndex)
{
    return intIndex >= 0 && intIndex < items.size() ? items.takeAt(intIndex) : nullptr;
}

Qt::Orientations FlowLayout::expandingDirections() const
{
    return {};
}

bool FlowLayout::hasHeightForWidth() const
{
    return true;
}

int FlowLayout::heightForWidth(int intWidth) const
{
    return arrange(QRect(0, 0, intWidth, 0), true);
}

QSize FlowLayout::minimumSize() const
{
    // The widest item alone on its row.
    QSize size;
    for (const QLayoutItem* item : items) {
        size = size.expandedTo(item->minimumSize().expandedTo(item->sizeHint()));
    }
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize FlowLayout::sizeHint() const
{
    // All items in one row.
    int intWidth = 0;
    int intHeight = 0;
    for (const QLayoutItem* item : items) {
        intWidth += item->sizeHint().width() + (intWidth > 0 ? spacing() : 0);
        intHeight = std::max(intHeight, item->sizeHint().height());
    }
    const QMargins margins = contentsMargins();
    return {intWidth + margins.left() + margins.right(), intHeight + margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, false);
}

int FlowLayout::arrange(const QRect& rect, bool blnMeasureOnly) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int intSpacing = std::max(0, spacing());
    int intX = area.x();
    int intY = area.y();
    int intRowHeight = 0;
    for (QLayoutItem* item : items) {
        if (item->isEmpty()) {
            continue;
        }
        const QSize size = item->sizeHint();
        if (intX > area.x() && intX + size.width() > area.right() + 1) {
            intX = area.x();
            intY += intRowHeight + intSpacing;
            intRowHeight = 0;
        }
        if (!blnMeasureOnly) {
            item->setGeometry(QRect(QPoint(intX, intY), size));
        }
        intX += size.width() + intSpacing;
        intRowHeight = std::max(intRowHeight, size.height());
    }
    return intY + intRowHeight - rect.y() + contentsMargins().bottom();
}

QWidget* FlowLayout::addGroup(QWidget& parent, const char* strName, const std::vector<QWidget*>& controls)
{
    auto* group = new QWidget(&parent);
    group->setObjectName(QLatin1String(strName));
    auto* layGroup = new QHBoxLayout(group);
    layGroup->setContentsMargins(0, 0, 0, 0);
    for (QWidget* control : controls) {
        layGroup->addWidget(control);
    }
    addWidget(group);
    return group;
}

} // namespace kestrix::ui
