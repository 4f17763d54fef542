// Form1: the sample files beside the program, captured at start-up and loaded by a button.

#include "app/form1.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "app/settingsstore.h"
#include "filelist/samples.h"

#include <QPushButton>

namespace {
const QString SnapshotKey = QStringLiteral("Snapshot");
}

void Form1::wireSampleHandlers()
{
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
}

// Taken once, at a start when none is stored, so files written into the folder later
// (previews saved beside their sources) never count as samples.
void Form1::CaptureSamples()
{
    m_settings->write(SnapshotKey, Samples::Scramble(Samples::CaptureText(m_programFolder)));
}

// Works also while the window is busy: it only appends rows.
void Form1::PushButton11_Click()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton11_Click"));
    steps.run(100, [this] { LoadSamples(); });
}

void Form1::LoadSamples()
{
    const QString capture = Samples::Unscramble(m_settings->read(SnapshotKey));
    Samples::AppendNewPaths(*ListView1, Samples::CapturedPaths(capture));
    const bool openFolder = m_prompts->askYesNo(
        m_applicationTitle,
        QStringLiteral("Would you like this software to open the folder where these sample files are "
                       "stored (so that you can view them before working with them)?"));
    if (openFolder)
        m_prompts->openFolder(Samples::Folder(m_programFolder));
}
