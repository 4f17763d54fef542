#pragma once
// The preview job's tests share one window per test, tones made once per executable, and
// the helpers that set up a run and read back what it left.

#include "app/form1.h"
#include "savedenvironment.h"
#include "testwindow.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class PreviewJobFixture : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    QString scratch(const QString &relative) const;
    QString copyTone(const QString &relative, bool high = false);
    QString writeText(const QString &relative);
    QString earlierPreview(const QString &relative);
    QString taggedSong(const QString &relative);
    Form1 &window(const QStringList &rows, const QString &folder, bool sameRate, bool beside, bool join);
    QString closingMessage() const;
    void verifyPreview(const QString &path, int bitRate, double seconds, int encodings = 1);
    double pitchRatioOfHalves(const QString &path, double half);

    QTemporaryDir m_fixtures;
    QString m_tone;
    QString m_highTone;
    QString m_shortTone; // one second, with ID3 tags
    QString m_longTone;  // six seconds
    QString m_m4a;       // AAC audio in an MP4 file named .mp3
    std::unique_ptr<SavedEnvironment> m_environment;
    std::unique_ptr<TestWindow> m_test;
};
