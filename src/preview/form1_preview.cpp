// Form1: "Start Creating" runs the preview job on the window's own controls.

#include "app/form1.h"

#include "filelist/filelistview.h"
#include "platform/progressbar.h"
#include "platform/shell32.h"
#include "preview/previewjob.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

namespace {

// ProgressBar1 as the runner and the job see it.
class BarProgress : public Shell32::Progress {
public:
    explicit BarProgress(ProgressBar &bar) : m_bar(bar) {}
    QString Text() const override { return m_bar.Text(); }
    void setText(const QString &text) override { m_bar.setText(text); }
    double Value() const override { return m_bar.Value(); }
    void setValue(double value) override { m_bar.setValue(value); }

private:
    ProgressBar &m_bar;
};

class WindowControls : public PreviewControls {
public:
    explicit WindowControls(Form1 &window) : m_window(window), m_progress(*window.ProgressBar1) {}

    bool busy() const override { return m_window.busy(); }
    void setBusy(bool busy) override { m_window.setBusy(busy); }
    void showBusyPointer(bool busy) override
    {
        m_window.setPointer(busy ? Form1::Pointer::Busy : Form1::Pointer::Default);
    }
    int rowCount() const override { return m_window.ListView1->count(); }
    QString row(int position) const override { return m_window.ListView1->text(position); }
    QString outputFolder() const override { return m_window.Text1->text(); }
    QString startText() const override { return m_window.Text2->text(); }
    QString durationText() const override { return m_window.Text3->text(); }
    int bitrateIndex() const override { return m_window.Combo1->currentIndex(); }
    QString bitrateChoice() const override { return m_window.Combo1->currentText(); }
    bool saveToFolder() const override { return m_window.Option1->isChecked(); }
    bool joinPreviews() const override { return m_window.Option3->isChecked(); }
    Shell32::Progress &progress() override { return m_progress; }
    Prompts &prompts() override { return m_window.prompts(); }
    QString applicationTitle() const override { return m_window.applicationTitle(); }
    QString programFolder() const override { return m_window.programFolder(); }

private:
    Form1 &m_window;
    BarProgress m_progress;
};

} // namespace

void Form1::wirePreviewHandlers()
{
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
}

void Form1::PushButton2_Click()
{
    WindowControls controls(*this);
    PreviewJob job(controls);
    // A second click during a run makes a job that returns at once; the first stays the one
    // that closing the window stops.
    const std::function<void()> outer = std::exchange(m_stopJob, [&job] { job.stop(); });
    job.run();
    m_stopJob = outer;
}
