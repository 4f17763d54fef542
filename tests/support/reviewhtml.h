#pragma once
// What the review page's tests read of its HTML.

#include <QRegularExpression>
#include <QString>

namespace ReviewHtml {

// The attribute of the first element with the attribute `role` (data-role="..."), or "".
inline QString RoleAttribute(const QString &html, const QString &role, const QString &name)
{
    const QRegularExpression element(QStringLiteral("<[^>]*data-role=\"%1\"[^>]*>").arg(role));
    const QString tag = element.match(html).captured();
    return QRegularExpression(QStringLiteral(" %1=\"([^\"]*)\"").arg(name)).match(tag).captured(1);
}

} // namespace ReviewHtml
