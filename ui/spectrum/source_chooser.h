// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QWidget;

namespace kestrix::engine {
struct RecordingInfo;
}

namespace kestrix::ui {

// The two signals of a recording (columns or channels, from 1) the two-channel page reads.
struct SignalPair
{
    int intInput = 1;
    int intOutput = 2;

    bool operator==(const SignalPair&) const = default;
};

// Asks which part of a recording to read: a column of delimited text, a channel of a sound file, and
// with it the input and the output of the two-channel page. Handed to the view, so tests answer without
// a modal dialog.
class SourceChooser
{
public:
    virtual ~SourceChooser() = default;

    // The column (from 1) of a text of intColumns columns, strHeadings its heading line (empty when it
    // has none), intSuggested the one offered first; nothing when the user cancels. pair comes with the
    // pair offered and leaves with the one chosen.
    virtual std::optional<int> chooseColumn(const QString& strFileName, int intColumns,
                                            const std::vector<QString>& strHeadings, int intSuggested,
                                            SignalPair& pair) = 0;

    // The channel (from 1) of a sound file of intChannels channels sampled at intSampFreq Hz; nothing
    // when the user cancels. pair as for a column.
    virtual std::optional<int> chooseChannel(const QString& strFileName, int intChannels, int intSampFreq,
                                             SignalPair& pair) = 0;
};

// The choices as a small dialog over parent: a list of the parts, and the pair in two lists beneath.
class DialogSourceChooser final : public SourceChooser
{
public:
    explicit DialogSourceChooser(QWidget* parent) : parent(parent) {}

    std::optional<int> chooseColumn(const QString& strFileName, int intColumns, const std::vector<QString>& strHeadings,
                                    int intSuggested, SignalPair& pair) override;
    std::optional<int> chooseChannel(const QString& strFileName, int intChannels, int intSampFreq,
                                     SignalPair& pair) override;

private:
    QWidget* parent;
};

// The list entries: "1: time (s)" for a column with a heading, "列 3" without; "チャンネル 2".
QStringList columnEntries(int intColumns, const std::vector<QString>& strHeadings);
QStringList channelEntries(int intChannels);
// The entries of a recording as inspected: its channels or its columns.
QStringList signalEntries(const engine::RecordingInfo& info);

// The pair offered first: of a text, the column suggested for the spectrum as the input and the next
// one of numbers as the output (else the first other one of numbers); channels 1 and 2 of a sound file.
SignalPair offeredPair(const engine::RecordingInfo& info);

} // namespace kestrix::ui
