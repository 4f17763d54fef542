#pragma once
// A failure that a guarded handler reports with its plain description and then steps over.

#include <QString>
#include <stdexcept>

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &description)
        : std::runtime_error(description.toStdString()) {}
    QString description() const { return QString::fromStdString(what()); }
};
