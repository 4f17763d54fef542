#pragma once
// Each file's own cut within a batch, from the run's settings and the file's row of a
// --starts list: whether its start is its chorus, a share of it or a given second, where that
// start comes from, how long the cut lasts, and what its preview records of it.

#include "analysis/chorus.h"
#include "preview/previewrecord.h"
#include "preview/previewsettings.h"

#include <optional>

class FileCuts {
public:
    // settings must outlive this.
    explicit FileCuts(const PreviewSettings &settings) : m_settings(settings) {}

    // Its start is where its chorus begins.
    bool atChorus(int index) const;
    // The file's row of a --starts list, when it gives a start of its own.
    const StartList::SourceCut *ownStart(int index) const;
    // The share of the length the start is, when it is one.
    std::optional<double> share(int index) const;
    // The start asked in seconds, when it is neither the chorus nor a share.
    double seconds(int index) const;
    double duration(int index) const;
    // Where its start comes from when it is not found in its audio.
    PreviewRecord::StartOrigin origin(int index) const;
    // What its preview is made with, as the mark records it.
    PreviewRecord::Recipe recipe(int index) const;

private:
    const PreviewSettings &m_settings;
};
