// SPDX-License-Identifier: GPL-3.0-or-later
#include "view_page.h"

#include "plot_frame.h"

#include <QFile>

namespace kestrix::ui {

std::optional<QString> ViewPage::askPictureName(platform::PlatformUi& ui, const QString& strTitle,
                                                const QString& strProposed)
{
    platform::SaveFileRequest request;
    request.strTitle = strTitle.toStdString();
    request.strFilter =
        tr("PNG 画像 (*.png)|*.png|JPEG 画像 (*.jpg *.jpeg)|*.jpg *.jpeg|SVG 画像 (*.svg)|*.svg").toStdString();
    request.strInitialFileName = QFile::encodeName(strProposed).toStdString();
    const std::optional<std::string> strPath = ui.chooseSaveFile(request);
    return strPath ? std::optional<QString>(QFile::decodeName(QByteArray::fromStdString(*strPath))) : std::nullopt;
}

bool ViewPage::pictureNotSaved(platform::PlatformUi& ui, const QString& strPath, const QString& strError)
{
    ui.showMessage(tr("画像を保存できませんでした。\n%1\n%2").arg(strPath, strError).toStdString(),
                   platform::MessageStyle::Exclamation);
    return false;
}

bool ViewPage::savePlotPicture(const PlotFrame& plot, platform::PlatformUi& ui, const QString& strTitle,
                               const QString& strProposed)
{
    if (const std::optional<QString> strPath = askPictureName(ui, strTitle, strProposed)) {
        return writePlotPicture(plot, ui, *strPath);
    }
    return false;
}

bool ViewPage::writePlotPicture(const PlotFrame& plot, platform::PlatformUi& ui, const QString& strPath)
{
    QString strError;
    return plot.saveImage(strPath, strError) || pictureNotSaved(ui, strPath, strError);
}

} // namespace kestrix::ui
