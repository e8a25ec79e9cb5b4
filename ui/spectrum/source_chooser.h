// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace kestrix::ui {

// Asks which part of a recording to read: a column of delimited text, a channel of a sound file.
// Handed to the view, so tests answer without a modal dialog.
class SourceChooser
{
public:
    virtual ~SourceChooser() = default;

    // The column (from 1) of a text of intColumns columns, strHeadings its heading line (empty when it
    // has none), intSuggested the one offered first; nothing when the user cancels.
    virtual std::optional<int> chooseColumn(const QString& strFileName, int intColumns,
                                            const std::vector<QString>& strHeadings, int intSuggested) = 0;

    // The channel (from 1) of a sound file of intChannels channels sampled at intSampFreq Hz; nothing
    // when the user cancels.
    virtual std::optional<int> chooseChannel(const QString& strFileName, int intChannels, int intSampFreq) = 0;
};

// The choices as a small list dialog over parent.
class DialogSourceChooser final : public SourceChooser
{
public:
    explicit DialogSourceChooser(QWidget* parent) : parent(parent) {}

    std::optional<int> chooseColumn(const QString& strFileName, int intColumns, const std::vector<QString>& strHeadings,
                                    int intSuggested) override;
    std::optional<int> chooseChannel(const QString& strFileName, int intChannels, int intSampFreq) override;

private:
    QWidget* parent;
};

// The list entries: "1: time (s)" for a column with a heading, "列 3" without; "チャンネル 2".
QStringList columnEntries(int intColumns, const std::vector<QString>& strHeadings);
QStringList channelEntries(int intChannels);

} // namespace kestrix::ui
