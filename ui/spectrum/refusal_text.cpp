// SPDX-License-Identifier: GPL-3.0-or-later
#include "refusal_text.h"

#include "platform/failure.h"
#include "spectrum_panel_text.h"

#include <QCoreApplication>

namespace kestrix::ui {
namespace {

QString tr(const char* strText)
{
    return QCoreApplication::translate("kestrix::ui::SpectrumPanel", strText);
}

// Where in the file: "3002 行目" or "3002 行目の 2 列目".
QString placeText(const platform::RefusalFacts& facts)
{
    const QString strLine = tr("%1 行目").arg(facts.lngLine);
    return facts.lngField > 0 ? tr("%1の %2 列目").arg(strLine).arg(facts.lngField) : strLine;
}

QString quotedText(const std::string& strText)
{
    constexpr int intShown = 40;
    const QString strWhole = fromUtf8(strText);
    return strWhole.size() > intShown ? strWhole.left(intShown) + QStringLiteral("…") : strWhole;
}

} // namespace

QString refusalText(const platform::RefusalFacts& facts)
{
    using Kind = platform::RefusalFacts::Kind;
    switch (facts.kind) {
    case Kind::None:
        return {};
    case Kind::BlankLine:
        return tr("%1 が空行で、そのあとにも数値が続いています。").arg(placeText(facts));
    case Kind::NotANumber:
        if (facts.blnDecimalComma) {
            return tr("%1「%2」は小数点にコンマを使った数値のようです。Kestrix は小数点（1.5 のように「.」）の"
                      "数値を読みます。表計算ソフトなどで小数点を「.」にして保存し直してください。")
                .arg(placeText(facts), quotedText(facts.strText));
        }
        return tr("%1「%2」は数値ではありません。").arg(placeText(facts), quotedText(facts.strText));
    case Kind::LineTooLong:
        return tr("%1が長すぎます。").arg(placeText(facts));
    case Kind::MissingField:
        return tr("%1がありません（列が足りません）。").arg(placeText(facts));
    case Kind::NoNumbers:
        return tr("読んだ %1 行のどれにも、%2 列目に数値がありません。").arg(facts.lngLine).arg(facts.lngField);
    case Kind::NoHeading:
        return tr("「%1」という名前の列の見出しがありません。").arg(quotedText(facts.strText));
    case Kind::TooFewSamples:
        return tr("サンプルが %1 個しかなく、1 区間（N = %2 点）に足りません。サンプリング点数を減らしてください。")
            .arg(facts.lngCount)
            .arg(facts.lngNeeded);
    case Kind::Other:
        break;
    }
    return tr("読み込めません（%1）。").arg(fromUtf8(facts.strText));
}

QString saveFailureText(const QString& strHeadline, const std::string& strPath, const KestrixError& failure)
{
    return QStringLiteral("%1\n%2\n%3: %4")
        .arg(strHeadline, QString::fromStdString(strPath))
        .arg(failure.number())
        .arg(QString::fromStdString(failure.description()));
}

QString failureText(const KestrixError& failure)
{
    return QStringLiteral("%1: %2").arg(failure.number()).arg(fromUtf8(failure.description()));
}

} // namespace kestrix::ui
