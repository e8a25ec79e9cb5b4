// SPDX-License-Identifier: GPL-3.0-or-later
#include "envelope_tools.h"

#include "engine/recordings/envelope_spectrum.h"
#include "engine/run/number_text.h"
#include "spectrum_panel_text.h"
#include "view_document.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace kestrix::ui {
namespace {

template <typename Control> Control* named(Control* control, const char* strName, const QString& strAccessible)
{
    control->setObjectName(QLatin1String(strName));
    control->setAccessibleName(strAccessible);
    return control;
}

// Why the engine cannot take an envelope in a band, in the view's words.
QString designRefusalText(const engine::EnvelopeRefusal& refusal)
{
    const QString strLow = generalText(refusal.band.dblLowHz);
    const QString strHigh = generalText(refusal.band.dblHighHz);
    switch (refusal.kind) {
    case engine::EnvelopeRefusal::Kind::LowNotPositive:
        return EnvelopeTools::tr("包絡線の帯域の下限（%1 Hz）は 0 Hz より大きくしてください。").arg(strLow);
    case engine::EnvelopeRefusal::Kind::HighNotAboveLow:
        return EnvelopeTools::tr("包絡線の帯域の上限（%1 Hz）は下限（%2 Hz）より大きくしてください。")
            .arg(strHigh, strLow);
    case engine::EnvelopeRefusal::Kind::HighAboveRange:
        return EnvelopeTools::tr("包絡線の帯域の上限（%1 Hz）は fs/2（%2 Hz）未満にしてください。")
            .arg(strHigh, generalText(refusal.dblSampFreq / 2.0));
    case engine::EnvelopeRefusal::Kind::TooNarrow:
        return EnvelopeTools::tr("包絡線の帯域 %1〜%2 Hz は fs = %3 Hz では狭すぎるか 0 Hz に近すぎます："
                                 "フィルタに %4 タップ要ります（%5 タップまで）。帯域を広げてください。")
            .arg(strLow, strHigh, generalText(refusal.dblSampFreq))
            .arg(refusal.lngTapsNeeded)
            .arg(engine::lngMaxEnvelopeTaps);
    }
    return {};
}

} // namespace

EnvelopeTools::EnvelopeTools(ViewDocument& document, platform::PlatformUi& ui, QWidget& parent)
    : QObject(&parent), document(document), ui(ui)
{
    createControls(parent);
    connectSignals();
    showSettings();
}

void EnvelopeTools::createControls(QWidget& parent)
{
    chkEnvelope = named(new QCheckBox(tr("包絡線(&E)"), &parent), "chkEnvelope", tr("包絡線のスペクトルを表示"));
    chkEnvelope->setToolTip(tr("録音をこの帯域に絞り、その包絡線（解析信号の絶対値）の平均スペクトルを表示します。"
                               "軸受の傷などの繰り返しの周波数が、共振の帯域の包絡線に線として現れます"));
    strBandHelp = tr("包絡線をとる帯域 [Hz]：共振などの、衝撃が鳴らす帯域");
    txtEnvelopeLow = named(new QLineEdit(&parent), "txtEnvelopeLow", tr("包絡線の帯域の下限 [Hz]"));
    txtEnvelopeLow->setPlaceholderText(tr("下限"));
    txtEnvelopeHigh = named(new QLineEdit(&parent), "txtEnvelopeHigh", tr("包絡線の帯域の上限 [Hz]"));
    txtEnvelopeHigh->setPlaceholderText(tr("上限"));
    for (QLineEdit* field : {txtEnvelopeLow, txtEnvelopeHigh}) {
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
        field->setToolTip(strBandHelp);
    }
    lblEnvelopeTo = new QLabel(QStringLiteral("–"), &parent);
    lblEnvelopeTo->setObjectName(QStringLiteral("lblEnvelopeTo"));
    lblEnvelopeHz = new QLabel(QStringLiteral("Hz"), &parent);
    lblEnvelopeHz->setObjectName(QStringLiteral("lblEnvelopeHz"));
    txtDefectFrequency = named(new QLineEdit(&parent), "txtDefectFrequency", tr("欠陥周波数 [Hz]"));
    txtDefectFrequency->setPlaceholderText(tr("例 BPFO"));
    txtDefectFrequency->setMaximumWidth(
        txtDefectFrequency->fontMetrics().horizontalAdvance(QStringLiteral("000000000")));
    txtDefectFrequency->setToolTip(tr("軸受の欠陥周波数（BPFO・BPFI・BSF・FTF）[Hz]：包絡線の表示中、その高調波に"
                                      "マーカーを立てます"));
    lblDefectFrequency = new QLabel(tr("欠陥(&F)"), &parent);
    lblDefectFrequency->setObjectName(QStringLiteral("lblDefectFrequency"));
    lblDefectFrequency->setBuddy(txtDefectFrequency);
}

void EnvelopeTools::connectSignals()
{
    connect(chkEnvelope, &QCheckBox::toggled, this, &EnvelopeTools::chkEnvelope_Toggled);
    for (QLineEdit* field : {txtEnvelopeLow, txtEnvelopeHigh}) {
        connect(field, &QLineEdit::editingFinished, this, &EnvelopeTools::txtEnvelopeBand_EditingFinished);
        connect(field, &QLineEdit::returnPressed, this, &EnvelopeTools::txtEnvelopeBand_ReturnPressed);
    }
    connect(txtDefectFrequency, &QLineEdit::editingFinished, this, &EnvelopeTools::txtDefectFrequency_EditingFinished);
    connect(&document, &ViewDocument::settingsChanged, this, &EnvelopeTools::showSettings);
}

std::vector<QWidget*> EnvelopeTools::controls() const
{
    return {chkEnvelope,   txtEnvelopeLow,     lblEnvelopeTo,     txtEnvelopeHigh,
            lblEnvelopeHz, lblDefectFrequency, txtDefectFrequency};
}

void EnvelopeTools::showSettings()
{
    const std::optional<engine::FrequencyBand>& band = document.settings().envelope;
    const QSignalBlocker blocker(chkEnvelope);
    chkEnvelope->setChecked(band.has_value());
    if (band) {
        txtEnvelopeLow->setText(generalText(band->dblLowHz));
        txtEnvelopeHigh->setText(generalText(band->dblHighHz));
        markFields({});
    }
}

// The band typed, where the recording can give an envelope in it; none, with strRefusal saying why.
std::optional<engine::FrequencyBand> EnvelopeTools::typedBand(QString& strRefusal) const
{
    const std::optional<ViewRecording>& recording = document.recording();
    if (!recording) {
        strRefusal = tr("包絡線には録音が要ります。FFT を実行するか、録音を開いてください。");
        return std::nullopt;
    }
    const std::optional<double> dblLow = engine::numericValue(txtEnvelopeLow->text().trimmed().toStdString());
    const std::optional<double> dblHigh = engine::numericValue(txtEnvelopeHigh->text().trimmed().toStdString());
    if (!dblLow || !dblHigh) {
        strRefusal = tr("包絡線をとる帯域の下限と上限を Hz の数で入力してください（例 2000〜4000）。");
        return std::nullopt;
    }
    const engine::FrequencyBand band{*dblLow, *dblHigh};
    const double dblSampFreq =
        document.reading() ? document.reading()->average.lngSampFreq : static_cast<double>(recording->lngSampFreq);
    const engine::EnvelopeDesign design = engine::designEnvelopeFilter(band, dblSampFreq);
    if (design.refusal) {
        strRefusal = designRefusalText(*design.refusal);
        return std::nullopt;
    }
    // The filter takes its length less one of the recording's samples: what is left must fill a segment.
    const std::int64_t lngEnvelopeSamples = recording->lngSamplesKnown - (design.lngTaps - 1);
    if (recording->lngSamplesKnown > 0 && lngEnvelopeSamples < recording->lngNumSamp) {
        strRefusal =
            tr("録音が短すぎます：この帯域のフィルタ（%1 タップ）が録音の %2 サンプルを使うため、"
               "包絡線は %3 サンプルで、1 区間（N = %4 点）に足りません。帯域を広げるか N を減らしてください。")
                .arg(design.lngTaps)
                .arg(design.lngTaps - 1)
                .arg(std::max<std::int64_t>(lngEnvelopeSamples, 0))
                .arg(recording->lngNumSamp);
        return std::nullopt;
    }
    return band;
}

void EnvelopeTools::markFields(const QString& strRefusal)
{
    for (QLineEdit* field : {txtEnvelopeLow, txtEnvelopeHigh}) {
        field->setStyleSheet(strRefusal.isEmpty() ? QString() : QStringLiteral("QLineEdit { background: #ffd9d9; }"));
        field->setToolTip(strRefusal.isEmpty() ? strBandHelp : strRefusal);
    }
}

// The mode as the box and the band say; blnAsked where the user asked for it (the box), when a refusal
// is said in a message and the box goes off.
void EnvelopeTools::apply(bool blnAsked)
{
    ViewSettings wanted = document.settings();
    if (!chkEnvelope->isChecked()) {
        markFields({});
        if (wanted.envelope) {
            wanted.envelope.reset();
            document.setSettings(wanted);
        }
        return;
    }
    QString strRefusal;
    const std::optional<engine::FrequencyBand> band = typedBand(strRefusal);
    markFields(strRefusal);
    if (!band) {
        if (blnAsked) {
            const QSignalBlocker blocker(chkEnvelope);
            chkEnvelope->setChecked(wanted.envelope.has_value());
            ui.showMessage(tr("包絡線を表示できません。\n%1").arg(strRefusal).toStdString(),
                           platform::MessageStyle::Exclamation);
            // Where the band is to be typed or mended.
            txtEnvelopeLow->setFocus();
        }
        return;
    }
    if (wanted.envelope == band) {
        return;
    }
    wanted.envelope = band;
    if (wanted.averaging == ViewAveraging::SingleBlock) {
        wanted.averaging = ViewAveraging::Mean; // an envelope is averaged over the whole recording
    }
    document.setSettings(wanted);
}

void EnvelopeTools::chkEnvelope_Toggled(bool /*blnChecked*/)
{
    apply(true);
}

void EnvelopeTools::txtDefectFrequency_EditingFinished()
{
    const QString strText = txtDefectFrequency->text().trimmed();
    const std::optional<double> dblHz = engine::numericValue(strText.toStdString());
    const bool blnReads = strText.isEmpty() || (dblHz && *dblHz > 0.0 && std::isfinite(*dblHz));
    txtDefectFrequency->setStyleSheet(blnReads ? QString() : QStringLiteral("QLineEdit { background: #ffd9d9; }"));
    const std::optional<double> dblWanted = blnReads && !strText.isEmpty() ? dblHz : std::nullopt;
    if (dblWanted != dblDefectHz) {
        dblDefectHz = dblWanted;
        emit defectFrequencyChanged();
    }
}

// Enter in a band field asks for the envelope in the band typed, as the box does.
void EnvelopeTools::txtEnvelopeBand_ReturnPressed()
{
    if (chkEnvelope->isChecked()) {
        apply(true);
    } else {
        chkEnvelope->setChecked(true);
    }
}

void EnvelopeTools::txtEnvelopeBand_EditingFinished()
{
    // A band half typed is only marked: the user may be on the way to the other edge.
    if (chkEnvelope->isChecked()) {
        apply(false);
        return;
    }
    QString strRefusal;
    if (!txtEnvelopeLow->text().trimmed().isEmpty() && !txtEnvelopeHigh->text().trimmed().isEmpty()) {
        typedBand(strRefusal);
    }
    markFields(strRefusal);
}

} // namespace kestrix::ui
