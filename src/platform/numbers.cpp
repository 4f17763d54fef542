#include "platform/numbers.h"

#include "platform/apperror.h"

#include <QLocale>

#include <cfenv>
#include <cmath>

namespace Numbers {

std::optional<double> Read(const QString &text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double RoundHalfEven(double value)
{
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

int ToInteger16(double value)
{
    const double rounded = RoundHalfEven(value);
    if (rounded < -32768 || rounded > 32767)
        throw AppError(QStringLiteral("Overflow"));
    return int(rounded);
}

} // namespace Numbers
