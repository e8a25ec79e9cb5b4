// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_chooser.h"

#include "engine/recordings/recording_view.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrix::ui {

namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SourceChooser", strText);
}

// A list of the recording's signals to pick one of for the pair, the pair's intSignal offered.
QComboBox* pairList(QDialog& dialog, const char* strName, const QString& strAccessible, const QStringList& strEntries,
                    int intSignal)
{
    auto* combo = new QComboBox(&dialog);
    combo->setObjectName(QLatin1String(strName));
    combo->setAccessibleName(strAccessible);
    combo->addItems(strEntries);
    combo->setCurrentIndex(std::clamp(intSignal, 1, static_cast<int>(strEntries.size())) - 1);
    return combo;
}

// The index (from 1) of the entry chosen from the list, or nothing; pair set to the input and output
// chosen beneath it.
std::optional<int> chooseEntry(QWidget* parent, const QString& strTitle, const QString& strLabel,
                               const QStringList& strEntries, int intSuggested, SignalPair& pair)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgRecordingPart"));
    dialog.setWindowTitle(strTitle);
    auto* lblQuestion = new QLabel(strLabel, &dialog);
    lblQuestion->setWordWrap(true);
    auto* lstEntries = new QListWidget(&dialog);
    lstEntries->setObjectName(QStringLiteral("lstRecordingParts"));
    lstEntries->setAccessibleName(strTitle);
    lstEntries->addItems(strEntries);
    lstEntries->setCurrentRow(std::clamp(intSuggested, 1, static_cast<int>(strEntries.size())) - 1);
    lblQuestion->setBuddy(lstEntries);
    // The two-channel page's pair, chosen in the same step: it reads two of these signals.
    auto* grpPair = new QGroupBox(tr("「2 チャンネル」のページ（伝達関数）"), &dialog);
    grpPair->setObjectName(QStringLiteral("grpRecordingPair"));
    QComboBox* cboInput = pairList(dialog, "cboPairInput", tr("伝達関数の入力"), strEntries, pair.intInput);
    QComboBox* cboOutput = pairList(dialog, "cboPairOutput", tr("伝達関数の出力"), strEntries, pair.intOutput);
    auto* layPair = new QFormLayout(grpPair);
    layPair->addRow(tr("入力(&I)"), cboInput);
    layPair->addRow(tr("出力(&O)"), cboOutput);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // A double click or Enter on an entry takes it.
    QObject::connect(lstEntries, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    auto* layDialog = new QVBoxLayout(&dialog);
    layDialog->addWidget(lblQuestion);
    layDialog->addWidget(lstEntries);
    layDialog->addWidget(grpPair);
    layDialog->addWidget(buttons);
    lstEntries->setFocus();
    if (dialog.exec() != QDialog::Accepted || lstEntries->currentRow() < 0) {
        return std::nullopt;
    }
    pair = SignalPair{cboInput->currentIndex() + 1, cboOutput->currentIndex() + 1};
    return lstEntries->currentRow() + 1;
}

// Whether signal intSignal (from 1) of a recording so inspected holds numbers.
bool holdsNumbers(const engine::RecordingInfo& info, int intSignal)
{
    const auto lngIndex = static_cast<std::size_t>(intSignal - 1);
    return info.blnSound || lngIndex >= info.blnNumbers.size() || info.blnNumbers[lngIndex];
}

} // namespace

QStringList columnEntries(int intColumns, const std::vector<QString>& strHeadings)
{
    QStringList strEntries;
    for (int intColumn = 1; intColumn <= intColumns; ++intColumn) {
        const auto lngIndex = static_cast<std::size_t>(intColumn - 1);
        const bool blnNamed = lngIndex < strHeadings.size() && !strHeadings[lngIndex].trimmed().isEmpty();
        strEntries << (blnNamed ? QStringLiteral("%1: %2").arg(intColumn).arg(strHeadings[lngIndex].trimmed())
                                : tr("列 %1").arg(intColumn));
    }
    return strEntries;
}

QStringList channelEntries(int intChannels)
{
    QStringList strEntries;
    for (int intChannel = 1; intChannel <= intChannels; ++intChannel) {
        strEntries << tr("チャンネル %1").arg(intChannel);
    }
    return strEntries;
}

QStringList signalEntries(const engine::RecordingInfo& info)
{
    if (info.blnSound) {
        return channelEntries(info.lngChannels);
    }
    std::vector<QString> strHeadings;
    for (const std::string& strHeading : info.strHeadings) {
        strHeadings.push_back(QString::fromStdString(strHeading));
    }
    return columnEntries(info.lngColumns, strHeadings);
}

SignalPair offeredPair(const engine::RecordingInfo& info)
{
    const int intSignals = info.blnSound ? info.lngChannels : info.lngColumns;
    SignalPair pair{info.blnSound ? 1 : engine::suggestedColumn(info), 0};
    for (int intSignal = pair.intInput + 1; intSignal <= intSignals && pair.intOutput == 0; ++intSignal) {
        pair.intOutput = holdsNumbers(info, intSignal) ? intSignal : 0;
    }
    for (int intSignal = 1; intSignal <= intSignals && pair.intOutput == 0; ++intSignal) {
        pair.intOutput = intSignal != pair.intInput && holdsNumbers(info, intSignal) ? intSignal : 0;
    }
    if (pair.intOutput == 0) {
        pair.intOutput = pair.intInput == 1 ? 2 : 1;
    }
    return pair;
}

std::optional<int> DialogSourceChooser::chooseColumn(const QString& strFileName, int intColumns,
                                                     const std::vector<QString>& strHeadings, int intSuggested,
                                                     SignalPair& pair)
{
    return chooseEntry(
        parent, tr("列を選ぶ"),
        tr("「%1」には %2 列あります。スペクトルで解析する列を選んでください。").arg(strFileName).arg(intColumns),
        columnEntries(intColumns, strHeadings), intSuggested, pair);
}

std::optional<int> DialogSourceChooser::chooseChannel(const QString& strFileName, int intChannels, int intSampFreq,
                                                      SignalPair& pair)
{
    return chooseEntry(parent, tr("チャンネルを選ぶ"),
                       tr("「%1」には %2 チャンネルあります（サンプリング周波数 %3 Hz：ファイルの値）。\n"
                          "スペクトルで解析するチャンネルを選んでください。")
                           .arg(strFileName)
                           .arg(intChannels)
                           .arg(intSampFreq),
                       channelEntries(intChannels), 1, pair);
}

} // namespace kestrix::ui
