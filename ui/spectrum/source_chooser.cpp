// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_chooser.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
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

// The index (from 1) of the entry chosen from the list, or nothing.
std::optional<int> chooseEntry(QWidget* parent, const QString& strTitle, const QString& strLabel,
                               const QStringList& strEntries, int intSuggested = 1)
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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // A double click or Enter on an entry takes it.
    QObject::connect(lstEntries, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    auto* layDialog = new QVBoxLayout(&dialog);
    layDialog->addWidget(lblQuestion);
    layDialog->addWidget(lstEntries);
    layDialog->addWidget(buttons);
    lstEntries->setFocus();
    if (dialog.exec() != QDialog::Accepted || lstEntries->currentRow() < 0) {
        return std::nullopt;
    }
    return lstEntries->currentRow() + 1;
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

std::optional<int> DialogSourceChooser::chooseColumn(const QString& strFileName, int intColumns,
                                                     const std::vector<QString>& strHeadings, int intSuggested)
{
    return chooseEntry(parent, tr("列を選ぶ"),
                       tr("「%1」には %2 列あります。解析する列を選んでください。\n"
                          "（「2 チャンネル」のページでは、伝達関数の入力と出力の列をそのページで選びます）")
                           .arg(strFileName)
                           .arg(intColumns),
                       columnEntries(intColumns, strHeadings), intSuggested);
}

std::optional<int> DialogSourceChooser::chooseChannel(const QString& strFileName, int intChannels, int intSampFreq)
{
    return chooseEntry(parent, tr("チャンネルを選ぶ"),
                       tr("「%1」には %2 チャンネルあります（サンプリング周波数 %3 Hz：ファイルの値）。\n"
                          "解析するチャンネルを選んでください。\n"
                          "（「2 チャンネル」のページでは、伝達関数の入力と出力のチャンネルをそのページで選びます）")
                           .arg(strFileName)
                           .arg(intChannels)
                           .arg(intSampFreq),
                       channelEntries(intChannels));
}

} // namespace kestrix::ui
