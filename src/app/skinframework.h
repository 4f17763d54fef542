#pragma once
// SkinFramework1: the optional skin. A skin file "x/o.cjs" beside the program is a Qt
// style sheet; the calls and their order are those the window has always made.

#include <QString>

class QWidget;

class SkinFramework {
public:
    // Load call: the skin file's full path and a second, empty text.
    void LoadSkin(const QString &path, const QString &iniFileName);
    int Options() const { return m_options; }
    void SetOptions(int options) { m_options = options; }
    void SetApplyColors(bool on) { m_applyColors = on; }
    void SetApplyMetrics(bool on) { m_applyMetrics = on; }
    // Applies the loaded skin to the window.
    void ApplyWindow(QWidget *window);

private:
    QString m_styleSheet;
    int m_options = 0;
    bool m_applyColors = false;
    bool m_applyMetrics = false;
};
