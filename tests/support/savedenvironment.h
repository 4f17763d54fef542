#pragma once
// Environment variables that a test changes (PATH, TEMP, ...), put back as they were, set
// or unset, when the guard goes, also when the test fails half-way.

#include <QByteArray>
#include <QList>

class SavedEnvironment {
public:
    explicit SavedEnvironment(const QList<QByteArray> &names);
    ~SavedEnvironment();
    SavedEnvironment(const SavedEnvironment &) = delete;
    SavedEnvironment &operator=(const SavedEnvironment &) = delete;

private:
    struct Variable {
        QByteArray name;
        bool set;
        QByteArray value;
    };
    QList<Variable> m_variables;
};
