#pragma once
// For tests that run the preview job without its window.

#include "audiofixtures.h"
#include "platform/prompts.h"
#include "preview/previewjob.h"

#include <QList>
#include <QString>
#include <QStringList>

// The job's view of a window that is not there: plain values a test can change mid-run.
class FakeControls : public PreviewControls {
public:
    explicit FakeControls(Prompts &prompts) : m_prompts(prompts) {}

    bool busy() const override { return isBusy; }
    void setBusy(bool busy) override { isBusy = busy; }
    void showBusyPointer(bool busy) override { pointerChanges << busy; }
    int rowCount() const override { return int(rows.size()); }
    QString row(int position) const override { return rows.value(position - 1); }
    QString outputFolder() const override { return folder; }
    QString startText() const override { return start; }
    QString durationText() const override { return duration; }
    int bitrateIndex() const override { return choice.contains(QStringLiteral("kbps")) ? 1 : 0; }
    QString bitrateChoice() const override { return choice; }
    bool saveToFolder() const override { return toFolder; }
    bool joinPreviews() const override { return joining; }
    Shell32::Progress &progress() override { return bar; }
    Prompts &prompts() override { return m_prompts; }
    QString applicationTitle() const override { return QStringLiteral("Lumbrisk"); }
    QString programFolder() const override { return QString(); }
    std::optional<double> loudnessTarget() const override { return loudness; }
    bool limit() const override { return limiting; }

    bool isBusy = false;
    QList<bool> pointerChanges;
    QStringList rows;
    QString folder;
    QString start = QStringLiteral("1");
    QString duration = QStringLiteral("2");
    QString choice = QStringLiteral("128 kbps");
    bool toFolder = true;
    bool joining = false;
    std::optional<double> loudness;
    bool limiting = false;
    RecordingProgress bar;

private:
    Prompts &m_prompts;
};
