// SPDX-License-Identifier: GPL-3.0-or-later
#include "view_page.h"

#include "plot_frame.h"

#include <QFile>

namespace kestrix::ui {

bool ViewPage::savePlotPicture(const PlotFrame& plot, platform::PlatformUi& ui, const QString& strTitle,
                               const QString& strProposed)
{
    platform::SaveFileRequest request;
    request.strTitle = strTitle.toStdString();
    request.strFilter =
        tr("PNG 画像 (*.png)|*.png|JPEG 画像 (*.jpg *.jpeg)|*.jpg *.jpeg|SVG 画像 (*.svg)|*.svg").toStdString();
    request.strInitialFileName = QFile::encodeName(strProposed).toStdString();
    if (const std::optional<std::string> strPath = ui.chooseSaveFile(request)) {
        return writePlotPicture(plot, ui, QFile::decodeName(QByteArray::fromStdString(*strPath)));
    }
    return false;
}

bool ViewPage::writePlotPicture(const PlotFrame& plot, platform::PlatformUi& ui, const QString& strPath)
{
    QString strError;
    if (plot.saveImage(strPath, strError)) {
        return true;
    }
    ui.showMessage(tr("画像を保存できませんでした。\n%1\n%2").arg(strPath, strError).toStdString(),
                   platform::MessageStyle::Exclamation);
    return false;
}

} // namespace kestrix::ui
