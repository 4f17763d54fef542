#pragma once
// One joined file's way, as PreviewFile is one song's: its name by the mark rule, the SoX run
// that joins its pieces, its loudness (measured once encoded, and joined again lower while it
// passes the peak ceiling), the limiter with --limit, its tags, mark, check and commit. The
// front end that cut the pieces (lumbrisk-cli's batch, or the window's job) gives it its
// tools and threads through Run, and hears its end.
// Its files: joinedfile.cpp joins, measures and keeps; joinedfile_limit.cpp limits.

#include "analysis/decodedaudio.h"
#include "analysis/limitedstretch.h"
#include "analysis/loudness.h"
#include "platform/commandline.h"
#include "platform/toolrun.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"
#include "preview/previewresult.h"
#include "preview/previewsettings.h"
#include "preview/tools.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Shell32 {
struct RunResult;
}

class JoinedFile {
public:
    // One song's part of the joined file.
    struct Piece {
        QString source;
        QString path;       // its piece, or its own preview taken as it is
        double seconds = 0; // how long it lasts
        double gain = 0;    // dB the join raises or lowers it by
        bool taken = false; // its own preview, taken as it is
        double start = 0;   // where it was cut from its song
        std::optional<PreviewMark::Record> wanted; // what its song's preview is to record
    };
    using Later = std::function<void()>;
    // What it asks of the front end that makes it. The window's job waits for each run and
    // each work where it is asked, so it hears the end before make() returns.
    struct Run {
        // Starts its SoX runs, fed samples (when it has them) and into an encoder (when the
        // format has one); none is fed by a decoder.
        Runner launch;
        // Runs work on a thread of the front end's; what work returns is then done on the
        // event loop, unless the run was stopped meanwhile.
        std::function<void(std::function<Later()> work)> background;
        // It is made, kept or failed, as its result says.
        std::function<void()> ended;
    };

    // result: the joined file's, its preview named (joined.preview); it outlives this.
    // bitrate: the kbps of every piece and of the joined file.
    JoinedFile(Tools::Found tools, const PreviewSettings &settings, PreviewResult &joined, QList<Piece> pieces,
               QString bitrate, Run run);

    // Where a joined file goes in folder: Joined_Preview, or the next free name when a file
    // without Lumbrisk's mark is there.
    static QString PathIn(const QString &folder, const OutputFormat &format);
    // Why it cannot be made ("" when it can); listed: its name is a file of the list.
    QString refusal(bool listed) const;
    // A dry run: the command lines it would be made by.
    void plan();
    // Makes it in place of earlier, the file its name held when the run began.
    void make(const PreviewFiles::EarlierFile &earlier);
    // With update: it is kept, as its mark records; the waveform asked beside it is written
    // again unless the one there is what is asked (none in a dry run).
    void takeRecorded(const PreviewMark::Record &recorded, bool dryRun);
    // For a stop while it is made: removes what it is writing now, so that nothing is left
    // if the program ends before the run does.
    void discard();

private:
    void launchJoin();
    void joinEnded(const Shell32::RunResult &result);
    // How long it lasts: its pieces less the overlap of each crossfade.
    double seconds() const;
    void measure(const Shell32::RunResult &result);
    void measured(const Shell32::RunResult &result, const std::optional<Loudness::Measurement> &measured);
    // Tags and marks it, checks it and gives it its name, or fails it with the problem.
    void keep(const Shell32::RunResult &result, QString problem = QString());
    void end();
    // What its mark is to record: what it is made of and what it got; "" when a song could
    // not be looked at.
    QString mark(const QString &written) const;
    QStringList sources() const;
    QStringList paths() const;
    QList<double> pieceSeconds() const;
    QList<double> gains() const;
    CommandLine command(const QString &writeTo) const;
    // Its pieces joined as it has them, with its crossfades.
    CommandLine spliced(CommandLine join) const;
    // What the join's encoding takes again of previews taken as they are, as far as it falls
    // short of the target once encoded: it makes that up.
    double retaken(const Loudness::Measurement &encoded) const;
    void writeWaveform(bool dryRun);
    // The limiter (joinedfile_limit.cpp): with --limit, the pieces are joined into floats,
    // measured, limited to reach the level wanted, and encoded once with its gain.
    bool joinsIntoFloats() const;
    void joinFloats();
    void joinedFloats(const Shell32::RunResult &result);
    void measuredFloats(const Loudness::Measurement &measured);
    void limit();
    void limited(const LimitedStretch::Limited &outcome);

    Tools::Found m_tools;
    const PreviewSettings &m_settings;
    PreviewResult &m_joined;
    QList<Piece> m_pieces;
    QString m_bitrate;
    Run m_run;
    std::unique_ptr<PreviewFiles::TemporaryOutput> m_output;
    int m_recuts = 0; // joined again, lowered, after its encoding passed the ceiling
    // With the limiter: the joined pieces as floats, before it, and the ceiling it last
    // limited them to (dBTP, before the gain).
    std::shared_ptr<const DecodedAudio::Stretch> m_decoded;
    std::shared_ptr<const DecodedAudio::Stretch> m_limited; // what SoX encodes instead of joining
    std::optional<double> m_limiterCeiling;
    LimitedStretch::Plan m_plan; // the level it is limited to reach
};
