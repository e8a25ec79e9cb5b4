// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window.h"

#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "leave_validation.h"
#include "text_conversion.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cmath>
#include <cstdint>

namespace kestrix::ui {

namespace {

// Positions and sizes in twips (1/1440 inch), from the top-left corner of the client area.
struct TwipsRect
{
    std::int32_t lngLeft;
    std::int32_t lngTop;
    std::int32_t lngWidth;
    std::int32_t lngHeight;
};

constexpr double dblTwipsPerInch = 1440.0;
constexpr std::int32_t lngClientWidth = 6465;
constexpr std::int32_t lngClientHeight = 6525;

constexpr std::array<const char*, 7> strPointCounts = {"1024", "2048", "4096", "8192", "16384", "32768", "65536"};

int twipsToPixels(std::int32_t lngTwips, double dblPixelsPerTwip)
{
    return static_cast<int>(std::lround(lngTwips * dblPixelsPerTwip));
}

// Both edges are rounded, so that controls which meet in twips meet in pixels.
QRect toPixels(const TwipsRect& twips, double dblPixelsPerTwip)
{
    const int lngLeftPx = twipsToPixels(twips.lngLeft, dblPixelsPerTwip);
    const int lngTopPx = twipsToPixels(twips.lngTop, dblPixelsPerTwip);
    const int lngRightPx = twipsToPixels(twips.lngLeft + twips.lngWidth, dblPixelsPerTwip);
    const int lngBottomPx = twipsToPixels(twips.lngTop + twips.lngHeight, dblPixelsPerTwip);
    return QRect(lngLeftPx, lngTopPx, lngRightPx - lngLeftPx, lngBottomPx - lngTopPx);
}

// A control whose text needs more room than its twips give grows leftward (its right edge stays beside
// the field it labels) and evenly upward and downward, so no text is clipped in any font.
QRect fitText(QRect rect, const QWidget& control)
{
    const QSize hint = control.sizeHint();
    if (hint.width() > rect.width()) {
        rect.setLeft(rect.right() + 1 - hint.width());
    }
    if (hint.height() > rect.height()) {
        const int lngGrowth = hint.height() - rect.height();
        rect.adjust(0, -(lngGrowth / 2), 0, lngGrowth - lngGrowth / 2);
    }
    return rect;
}

} // namespace

FrmMain::FrmMain(platform::PlatformUi& ui_, platform::TextFiles& files_, platform::Clock& clock_, QWidget* parent)
    : QWidget(parent), ui(ui_), files(files_), clock(clock_)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrix"));
    createControls();
    placeControls();
    setFocusOrder();
    connectSignals();
    Form_Load();
    cmdFFT->setFocus(Qt::OtherFocusReason);
}

void FrmMain::createControls()
{
    const auto label = [this](const char* strName, const char* strText) {
        auto* control = new QLabel(QString::fromUtf8(strText), this);
        control->setObjectName(QLatin1String(strName));
        return control;
    };
    const auto field = [this](const char* strName, bool blnReadOnly) {
        auto* control = new QLineEdit(this);
        control->setObjectName(QLatin1String(strName));
        control->setReadOnly(blnReadOnly);
        setFieldBackground(control, !blnReadOnly);
        return control;
    };
    const auto checkBox = [this](const char* strName, const char* strText) {
        auto* control = new QCheckBox(QString::fromUtf8(strText), this);
        control->setObjectName(QLatin1String(strName));
        return control;
    };
    const auto button = [this](const char* strName, const char* strText) {
        auto* control = new QPushButton(QString::fromUtf8(strText), this);
        control->setObjectName(QLatin1String(strName));
        // Enter clicks the button that has the focus, as Space does; outside a dialog an auto-default
        // button is never the window's default, so Enter in a field starts nothing.
        control->setAutoDefault(true);
        control->setDefault(false);
        return control;
    };

    Label1 = label("Label1", "サンプリング周波数[Hz]");
    txtSampFreq = field("txtSampFreq", false);
    Label4 = label("Label4", "最大解析周波数[Hz]");
    txtMaxAnaFreq = field("txtMaxAnaFreq", true);
    Label2 = label("Label2", "サンプリング点数");
    cboNumSamp = new QComboBox(this);
    cboNumSamp->setObjectName(QStringLiteral("cboNumSamp"));
    cboNumSamp->setEditable(false);
    // The wheel may change the list only while it has the focus (see eventFilter), and never takes it.
    cboNumSamp->setFocusPolicy(Qt::StrongFocus);
    cboNumSamp->installEventFilter(this);
    Label5 = label("Label5", "周波数分解能[Hz]");
    txtDeltaFreq = field("txtDeltaFreq", true);
    Label3 = label("Label3", "入力レンジ（±）[V]");
    txtMaxVolt = field("txtMaxVolt", false);
    chkBand = checkBox("chkBand", "バンドパス実行");
    lblLowFreq = label("lblLowFreq", "下限周波数[Hz]");
    txtLowFreq = field("txtLowFreq", false);
    lblHighFreq = label("lblHighFreq", "上限周波数[Hz]");
    txtHighFreq = field("txtHighFreq", false);
    chkWave = checkBox("chkWave", "Waveファイル作成");
    cmdFFT = button("cmdFFT", "FFT");
    cmdEnd = button("cmdEnd", "終了");
}

void FrmMain::placeControls()
{
    const double dblPixelsPerTwip = logicalDpiX() / dblTwipsPerInch;
    const auto place = [dblPixelsPerTwip](QWidget* control, TwipsRect twips) {
        const QRect rect = toPixels(twips, dblPixelsPerTwip);
        // Text fields keep their twips: their digits fit, and their left edges line up.
        control->setGeometry(qobject_cast<QLineEdit*>(control) != nullptr ? rect : fitText(rect, *control));
    };
    place(Label1, {960, 360, 1935, 255});
    place(txtSampFreq, {3000, 240, 1575, 375});
    place(Label4, {1200, 1080, 1575, 255});
    place(txtMaxAnaFreq, {3000, 960, 1575, 375});
    place(Label2, {1440, 1800, 1455, 255});
    place(cboNumSamp, {3000, 1680, 1575, 300});
    place(Label5, {1440, 2400, 1455, 255});
    place(txtDeltaFreq, {3000, 2280, 1575, 375});
    place(Label3, {1320, 3120, 1575, 255});
    place(txtMaxVolt, {3000, 3000, 1575, 375});
    place(chkBand, {840, 3600, 2055, 375});
    place(lblLowFreq, {1560, 4080, 1335, 255});
    place(txtLowFreq, {3000, 3960, 1575, 375});
    place(lblHighFreq, {1560, 4560, 1335, 255});
    place(txtHighFreq, {3000, 4440, 1575, 375});
    place(chkWave, {840, 5040, 2055, 375});
    place(cmdFFT, {2400, 5760, 1695, 495});
    place(cmdEnd, {4560, 5760, 1695, 495});
    setFixedSize(twipsToPixels(lngClientWidth, dblPixelsPerTwip), twipsToPixels(lngClientHeight, dblPixelsPerTwip));
}

void FrmMain::setFocusOrder()
{
    const std::vector<QWidget*> controls = focusOrder();
    for (std::size_t i = 1; i < controls.size(); ++i) {
        setTabOrder(controls[i - 1], controls[i]);
    }
    for (QLabel* label : {Label1, Label4, Label2, Label5, Label3, lblLowFreq, lblHighFreq}) {
        label->setFocusPolicy(Qt::NoFocus);
    }
}

std::vector<QWidget*> FrmMain::focusOrder() const
{
    // chkWave comes before chkBand although it stands below it.
    return {cmdFFT,  cmdEnd,     txtSampFreq, cboNumSamp,    txtMaxVolt,  chkWave,
            chkBand, txtLowFreq, txtHighFreq, txtMaxAnaFreq, txtDeltaFreq};
}

void FrmMain::connectSignals()
{
    leaveValidation = new LeaveValidation(*this);
    leaveValidation->addField(txtSampFreq, [this](bool& blnCancel) { txtSampFreq_Validate(blnCancel); });
    leaveValidation->addField(txtMaxVolt, [this](bool& blnCancel) { txtMaxVolt_Validate(blnCancel); });
    leaveValidation->addField(cboNumSamp, [this](bool& blnCancel) { cboNumSamp_Validate(blnCancel); });
    leaveValidation->addExempt(cmdEnd);

    connect(cboNumSamp, &QComboBox::currentIndexChanged, this, [this] { cboNumSamp_Click(); });
    connect(chkBand, &QCheckBox::stateChanged, this, [this] { chkBand_Click(); });
    connect(cmdFFT, &QPushButton::clicked, this, [this] { cmdFFT_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
}

void FrmMain::Form_Load()
{
    globals.dblPI = engine::computePI();
    txtSampFreq->setText(QStringLiteral("1024"));
    const double dblMaxAnaFreq = engine::maxAnaFreqRounded(engine::wholeNumberOfText("1024"));
    txtMaxAnaFreq->setText(toQString(engine::maxAnaFreqText(dblMaxAnaFreq)));

    {
        // Filling the list selects its first entry on the way; the selection below is the one that counts.
        const QSignalBlocker blocker(cboNumSamp);
        cboNumSamp->clear();
        for (const char* strPoints : strPointCounts) {
            cboNumSamp->addItem(QLatin1String(strPoints));
        }
        cboNumSamp->setCurrentIndex(0);
    }
    cboNumSamp_Click();
    const std::int32_t lngNumSamp = engine::wholeNumberOfText(toStdString(cboNumSamp->currentText()));
    txtDeltaFreq->setText(toQString(engine::deltaFreqText(dblMaxAnaFreq, lngNumSamp)));

    txtMaxVolt->setText(QStringLiteral("5"));
    chkBand->setCheckState(Qt::Checked);
    setBandFieldsEnabled(true);
    txtLowFreq->setText(QStringLiteral("200"));
    txtHighFreq->setText(QStringLiteral("800"));
    chkWave->setCheckState(Qt::Checked);
    globals.strLastFileName.clear();
}

void FrmMain::setFieldBackground(QLineEdit* field, bool blnEditable)
{
    // Editable fields take the window-background colour, read-only and greyed-out ones the button face.
    const QPalette systemColours = QApplication::palette();
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, systemColours.color(blnEditable ? QPalette::Base : QPalette::Button));
    field->setPalette(palette);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // A wheel turned over the list while another field has the focus would change the points unseen,
    // past that field's check.
    if (watched == cboNumSamp && event->type() == QEvent::Wheel && !cboNumSamp->hasFocus()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrix::ui
