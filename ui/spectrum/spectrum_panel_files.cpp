// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's files: reference spectra read from earlier spectrum files, and the plot saved
// as a picture.

#include "engine/recordings/spectrum_csv.h"
#include "engine/recordings/window_function.h"
#include "engine/view/plot_view.h"
#include "platform/failure.h"
#include "spectrum_panel.h"
#include "spectrum_panel_text.h"
#include "spectrum_plot.h"
#include "units_text.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>

namespace kestrix::ui {
namespace {

const QColor clrReferences[] = {QColor(44, 160, 44),   QColor(148, 103, 189), QColor(140, 86, 75),
                                QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
                                QColor(23, 190, 207)};
constexpr QSize sizMinImage(640, 400); // px, a saved picture stays readable even from a small window
constexpr int intJpegQuality = 92;

enum class PictureFormat { Png, Jpeg, Svg, Unknown };

PictureFormat formatOfName(const QString& strPath)
{
    const QString strSuffix = QFileInfo(strPath).suffix().toLower();
    if (strSuffix == QLatin1String("png")) {
        return PictureFormat::Png;
    }
    if (strSuffix == QLatin1String("jpg") || strSuffix == QLatin1String("jpeg")) {
        return PictureFormat::Jpeg;
    }
    return strSuffix == QLatin1String("svg") ? PictureFormat::Svg : PictureFormat::Unknown;
}

} // namespace

bool SpectrumPanel::openReference(const std::string& strPath)
{
    const QString strFileName = QFileInfo(fromUtf8(strPath)).fileName();
    for (const Reference& reference : references) {
        if (reference.strPath == strPath || files.sameFile(reference.strPath, strPath)) {
            ui.showMessage(
                tr("「%1」は既に参照として開いています（%2）。").arg(strFileName, reference.strName).toStdString(),
                platform::MessageStyle::Exclamation);
            return false;
        }
    }
    engine::SpectrumReading reading;
    if (const std::optional<QString> strRefusal = referenceRefusal(strPath, reading)) {
        ui.showMessage(strRefusal->toStdString(), platform::MessageStyle::Exclamation);
        return false;
    }
    const QColor color = clrReferences[lngNextColour++ % std::size(clrReferences)];
    const auto [scale, strUnits] = referenceScale(reading);
    references.push_back({strPath, referenceName(strFileName), color, std::move(reading.trace.dblFreq),
                          std::move(reading.trace.dblVolts), scale, strUnits});
    cboReferences->addItem(references.back().strName);
    cboReferences->setItemData(cboReferences->count() - 1, fromUtf8(strPath), Qt::ToolTipRole);
    cboReferences->setCurrentIndex(cboReferences->count() - 1);
    cmdRemoveReference->setEnabled(true);
    refreshTraces();
    refreshCursorText();
    return true;
}

std::optional<QString> SpectrumPanel::referenceRefusal(const std::string& strPath, engine::SpectrumReading& result)
{
    const QString strFileName = QFileInfo(fromUtf8(strPath)).fileName();
    engine::SpectrumReading reading;
    try {
        const auto reader = files.openTextFile(strPath);
        reading = engine::readSpectrumCsv(*reader);
        reader->close();
    } catch (const KestrixError& error) {
        return tr("参照ファイル「%1」を読み込めませんでした。\n%2").arg(strFileName, fromUtf8(error.description()));
    }
    if (!reading.strRefusal.empty()) {
        return tr("「%1」は Kestrix のスペクトルファイルではありません。\n%2")
            .arg(strFileName, fromUtf8(reading.strRefusal));
    }
    // An averaged file's values are checked as the volts they stand for (its levels may be negative).
    const std::vector<double> dblChecked =
        reading.heading ? engine::convertSpectrum(reading.trace.dblVolts, referenceScale(reading).first,
                                                  {engine::SpectrumUnits::Rms, false, 1.0})
                        : reading.trace.dblVolts;
    const std::string strPlotRefusal = engine::plotRefusal(reading.trace.dblFreq, dblChecked);
    if (!strPlotRefusal.empty()) {
        return tr("参照ファイル「%1」はグラフに表示できません。\n%2").arg(strFileName, fromUtf8(strPlotRefusal));
    }
    result = std::move(reading);
    return std::nullopt;
}

std::pair<engine::SpectrumScale, QString> SpectrumPanel::referenceScale(const engine::SpectrumReading& reading)
{
    const std::vector<double>& dblFreq = reading.trace.dblFreq;
    if (!reading.heading) {
        // A classic spectrum file: the run's block without a window, so a line's bandwidth is its spacing.
        const double dblSpacing = dblFreq.size() > 1 ? dblFreq[1] - dblFreq[0] : 1.0;
        return {{engine::SpectrumUnits::Pp, true, dblSpacing}, tr("_SPC.csv の V p-p")};
    }
    const engine::SpectrumHeading& heading = *reading.heading;
    const engine::WindowFigures figures =
        engine::windowFigures(engine::windowCoefficients(heading.window, heading.lngNumSamp));
    const double dblBandwidth =
        figures.dblNoiseBandwidth * static_cast<double>(heading.lngSampFreq) / heading.lngNumSamp;
    return {{heading.units, false, dblBandwidth}, unitsTexts(heading.units).strLegend};
}

QString SpectrumPanel::referenceName(const QString& strFileName) const
{
    // Files of the same name from different folders are told apart by a number.
    const QString strBase = tr("参照：%1").arg(strFileName);
    QString strName = strBase;
    for (int intNumber = 2;; ++intNumber) {
        const bool blnTaken = std::any_of(references.begin(), references.end(),
                                          [&](const Reference& reference) { return reference.strName == strName; });
        if (!blnTaken) {
            return strName;
        }
        strName = QStringLiteral("%1 (%2)").arg(strBase).arg(intNumber);
    }
}

void SpectrumPanel::removeReference(int lngIndex)
{
    if (lngIndex < 0 || lngIndex >= static_cast<int>(references.size())) {
        return;
    }
    references.erase(references.begin() + lngIndex);
    cboReferences->removeItem(lngIndex);
    cmdRemoveReference->setEnabled(!references.empty());
    refreshTraces();
    refreshCursorText();
}

QString SpectrumPanel::proposedImageName() const
{
    if (run && !run->strBaseName.empty()) {
        return fromUtf8(run->strBaseName) + QStringLiteral("_SPC.png");
    }
    if (!references.empty()) {
        const QFileInfo reference(fromUtf8(references.front().strPath));
        return reference.dir().filePath(reference.completeBaseName() + QStringLiteral(".png"));
    }
    return QStringLiteral("spectrum.png");
}

bool SpectrumPanel::savePlotImage(const QString& strPath)
{
    const PictureFormat format = formatOfName(strPath);
    if (format == PictureFormat::Unknown) {
        ui.showMessage(tr("画像の形式は名前の拡張子で決まります。.png（PNG）、.jpg か .jpeg（JPEG）、"
                          ".svg（SVG）のどれかを付けてください。\n%1")
                           .arg(strPath)
                           .toStdString(),
                       platform::MessageStyle::Exclamation);
        return false;
    }
    const QSize size = pltSpectrum->size().expandedTo(sizMinImage);
    QSaveFile file(strPath);
    bool blnWritten = file.open(QIODevice::WriteOnly);
    if (blnWritten && format == PictureFormat::Svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(tr("Kestrix スペクトル"));
        QPainter painter(&generator);
        painter.setFont(pltSpectrum->font());
        pltSpectrum->paintPlot(painter, QRect(QPoint(0, 0), size));
        painter.end();
    } else if (blnWritten) {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setFont(pltSpectrum->font());
        pltSpectrum->paintPlot(painter, image.rect());
        painter.end();
        blnWritten =
            format == PictureFormat::Png ? image.save(&file, "PNG") : image.save(&file, "JPEG", intJpegQuality);
    }
    blnWritten = blnWritten && file.commit();
    if (!blnWritten) {
        ui.showMessage(tr("画像を保存できませんでした。\n%1\n%2").arg(strPath, file.errorString()).toStdString(),
                       platform::MessageStyle::Exclamation);
    }
    return blnWritten;
}

void SpectrumPanel::cmdOpenReference_Click()
{
    platform::OpenFileRequest request;
    request.strTitle = tr("参照スペクトルを開く").toStdString();
    request.strFilter = tr("スペクトルファイル (*_SPC.csv)|*_SPC.csv|CSV ファイル (*.csv)|*.csv|"
                           "すべてのファイル (*.*)|*.*")
                            .toStdString();
    request.lngFlags = platform::open_flags::lngFileMustExist | platform::open_flags::lngHideReadOnly |
                       platform::open_flags::lngNoChangeDir;
    if (const std::optional<std::string> strPath = ui.chooseOpenFile(request)) {
        openReference(*strPath);
    }
}

void SpectrumPanel::cmdRemoveReference_Click()
{
    removeReference(cboReferences->currentIndex());
}

void SpectrumPanel::cmdSavePlot_Click()
{
    // Also reached by its shortcut, which a disabled button does not stop.
    if (pltSpectrum->traces().empty()) {
        return;
    }
    platform::SaveFileRequest request;
    request.strTitle = tr("画像を保存").toStdString();
    request.strFilter =
        tr("PNG 画像 (*.png)|*.png|JPEG 画像 (*.jpg *.jpeg)|*.jpg *.jpeg|SVG 画像 (*.svg)|*.svg").toStdString();
    request.strInitialFileName = QFile::encodeName(proposedImageName()).toStdString();
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        savePlotImage(QFile::decodeName(QByteArray::fromStdString(*strPath)));
    }
}

} // namespace kestrix::ui
