#pragma once
// What a batch's loudness target asks of each file, from its bit rate and its source: what
// its encodings lose and how far below the peak ceiling its peaks must stay, the rate its
// stretch is measured at, whether that stretch is kept for the cut or for the limiter, and
// whether its encoded preview is measured again.

#include "analysis/audiolength.h"
#include "analysis/limitedstretch.h"
#include "analysis/loudness.h"
#include "batch/filecuts.h"
#include "batch/previewsettings.h"

#include <QString>

#include <optional>

class FileLoudness {
public:
    // A piece of a join is encoded twice: when it is cut, and again in the joined file.
    static constexpr int JoinEncodings = 2;

    // What is known of a file when its loudness is planned.
    struct File {
        int index = 0;
        QString source;
        int kbps = 0;                       // its preview's bit rate
        std::optional<AudioLength> length; // its source's
    };

    // settings and cuts must outlive this.
    FileLoudness(const PreviewSettings &settings, const FileCuts &cuts) : m_settings(settings), m_cuts(cuts) {}

    // What the preview's encodings lose of its loudness, and the margin its planned peak keeps
    // below the ceiling: a piece of a join is encoded twice.
    double encodingLoss(int kbps) const;
    double peakMargin(int kbps) const;
    // The gain that brings the measured stretch to the target.
    Loudness::Adjustment gainFor(const Loudness::Measurement &measured, int kbps) const;
    // The stretch is measured at this rate, as the cut reads it.
    int measuringRate(const File &file) const;
    // SoX cuts the preview of the samples the analysis decoded instead of the source.
    bool keepsStretch(const File &file) const;
    // The limiter is asked for, and the preview short enough for its stretch to be kept.
    bool limits(int index) const;
    // What the limiter brings the stretch to.
    LimitedStretch::Plan limitPlan(const Loudness::Adjustment &loudness, int kbps) const;
    // The encoded preview is measured again: only one planned near the ceiling.
    bool measuresMade(const Loudness::Adjustment &loudness, int kbps) const;

private:
    int encodings() const;

    const PreviewSettings &m_settings;
    const FileCuts &m_cuts;
};
