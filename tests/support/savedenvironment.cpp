#include "savedenvironment.h"

SavedEnvironment::SavedEnvironment(const QList<QByteArray> &names)
{
    for (const QByteArray &name : names)
        m_variables.append({name, qEnvironmentVariableIsSet(name.constData()), qgetenv(name.constData())});
}

SavedEnvironment::~SavedEnvironment()
{
    for (const Variable &variable : m_variables) {
        if (variable.set)
            qputenv(variable.name.constData(), variable.value);
        else
            qunsetenv(variable.name.constData());
    }
}
