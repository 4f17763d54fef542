#include "cli/clioptions_list.h"

#include "cli/reportoptions.h"

namespace CliOptionList {

const QCommandLineOption Start({QStringLiteral("s"), QStringLiteral("start")},
                               QStringLiteral("Where every preview starts: seconds (65, 2.5), m:ss (1:05), a share "
                                              "of each track's length (40%), or auto: the first beat of the bar where "
                                              "each track's chorus begins, found in its audio. Default: 3."),
                               QStringLiteral("TIME"), QStringLiteral("3"));
const QCommandLineOption Duration({QStringLiteral("d"), QStringLiteral("duration")},
                                  QStringLiteral("Length of every preview in seconds. Default: 15."),
                                  QStringLiteral("SECONDS"), QStringLiteral("15"));
const QCommandLineOption Bitrate({QStringLiteral("b"), QStringLiteral("bitrate")},
                                 QStringLiteral("Bit rate of the previews in kbit/s, or \"same\" as each source "
                                                "(the nearest the format has, said of a song when it differs). MP3: 320 down to 8, default 128; AAC: "
                                                "32 to 320, default 256; Opus: 6 to 256, default 96."),
                                 QStringLiteral("KBPS"));
const QCommandLineOption Format(QStringLiteral("format"),
                                QStringLiteral("What the previews are written as: mp3 (by SoX's LAME), aac (AAC-LC in "
                                               "an .m4a file, by FFmpeg's encoder) or opus (an .opus file at 48 kHz, "
                                               "by FFmpeg's libopus), with the same tags, cover and loudness. "
                                               "Default: mp3."),
                                QStringLiteral("FORMAT"), QStringLiteral("mp3"));
const QCommandLineOption Output({QStringLiteral("o"), QStringLiteral("output")},
                                QStringLiteral("Folder the previews go to, made when missing. Default: the current "
                                               "folder."),
                                QStringLiteral("FOLDER"));
const QCommandLineOption Beside(QStringLiteral("beside"), QStringLiteral("Put each preview next to its source."));
const QCommandLineOption Join(QStringLiteral("join"),
                              QStringLiteral("Make one Joined_Preview.mp3 (.m4a, .opus) of all previews instead of one file per "
                                             "source, with the tags its songs share: the album's name as its title "
                                             "and the album's cover when they are one album's."));
const QCommandLineOption Extension({QStringLiteral("e"), QStringLiteral("ext")},
                                   QStringLiteral("For FOLDER arguments: the extension of the files to take, a comma "
                                                  "list of several (mp3,flac,wav,m4a), or * for every file. MP3, "
                                                  "FLAC, WAV, AIFF and Ogg are read by SoX, others (M4A, Opus, ...) "
                                                  "decoded by FFmpeg. Default: every audio format Lumbrisk reads "
                                                  "(mp3, flac, wav, aif, aiff, ogg, opus, m4a, aac, wma, ...)."),
                                   QStringLiteral("EXT"));
const QCommandLineOption KeepFolders(QStringLiteral("keep-folders"),
                                     QStringLiteral("Below the output folder, keep the folders of each FOLDER: "
                                                    "Album/Song.mp3 gives Album/Song_Preview.mp3."));
const QCommandLineOption Jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                              QStringLiteral("How many tools run at once. Default: the number of processor cores."),
                              QStringLiteral("N"));
const QCommandLineOption FadeIn(QStringLiteral("fade-in"),
                                QStringLiteral("Fade each preview in over the first S seconds."), QStringLiteral("S"));
const QCommandLineOption FadeOut(QStringLiteral("fade-out"),
                                 QStringLiteral("Fade each preview out over the last S seconds."), QStringLiteral("S"));
const QCommandLineOption LoudnessTarget(QStringLiteral("loudness"),
                                        QStringLiteral("Bring every preview to LUFS integrated loudness (EBU R128), "
                                                       "from -70 to 0: -14 for streaming, -16 for podcasts, -23 for "
                                                       "broadcast. Only the level changes; its true peak stays at -1 "
                                                       "dBTP or below."),
                                        QStringLiteral("LUFS"));
const QCommandLineOption Limit(QStringLiteral("limit"),
                               QStringLiteral("With --loudness: a preview whose peaks would keep it below the "
                                              "loudness reaches it all the same, its peaks taken down to -1 dBTP by "
                                              "a true-peak limiter (5 ms lookahead, smooth release), by 10 dB at most. "
                                              "Off by default."));
const QCommandLineOption Starts(QStringLiteral("starts"),
                                QStringLiteral("A CSV file of file,start[,duration] rows: each song's own start (any "
                                               "--start form) and length; an empty one takes the option's. Files "
                                               "are relative to the CSV's folder; without FILE arguments its rows "
                                               "are the list. Semicolons or tabs may separate the fields, as "
                                               "spreadsheets save them; then a decimal comma is read (0,50). With "
                                               "--update and FOLDER arguments, a row whose file is gone is told and "
                                               "left out."),
                                QStringLiteral("FILE.csv"));
const QCommandLineOption Crossfade(QStringLiteral("crossfade"),
                                   QStringLiteral("With --join: overlap each preview with the next by S seconds, one "
                                                  "fading out as the other fades in; S below half a preview."),
                                   QStringLiteral("S"));
const QCommandLineOption NoTags(QStringLiteral("no-tags"),
                                QStringLiteral("Make the previews without their songs' tags: only Lumbrisk's own mark "
                                               "(an ID3v2 frame LUMBRISK), which tells a preview from a song. By "
                                               "default each keeps its song's tags and cover art."));
const QCommandLineOption Update(QStringLiteral("update"),
                               QStringLiteral("Keep each preview that is up to date and whole: made from this very "
                                              "source (its path, size and modification time) with these settings, "
                                              "as the mark in the preview records. A start given in seconds (a "
                                              "row of --starts) is met by a preview made from that second, whatever "
                                              "chose it before. Only the missing, stale and damaged ones are made. "
                                              "With --join: a joined preview of the same songs in the same order "
                                              "with these settings is kept; one made again takes each song's own "
                                              "preview that is up to date as it is."));
const QCommandLineOption Prune(QStringLiteral("prune"),
                               QStringLiteral("Remove the previews (and their waveform files) in the folders the run "
                                              "writes into whose songs are gone: recorded in their marks below a "
                                              "FOLDER argument, in a folder that can be read, and not there. Never a "
                                              "file without Lumbrisk's mark; nothing at all when a folder could not "
                                              "be read. Folders below the output folder left empty go too. Without "
                                              "it they are only listed."));
const QCommandLineOption DryRun(QStringLiteral("dry-run"),
                                QStringLiteral("Print the SoX command lines (for AAC and Opus piped into FFmpeg's "
                                               "encoder), shell-quoted, and make nothing. The tags "
                                               "are copied by Lumbrisk itself, not by these lines; --waveform writes "
                                               "nothing either. With --json: the plan as a JSON report instead."));
const QCommandLineOption Quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                               QStringLiteral("Show no progress, no summary and no note of peaks the limiter took "
                                              "down; only what went wrong, the warnings, and a changed song whose "
                                              "start --starts pins."));
const QCommandLineOption Json(QStringLiteral("json"),
                              QStringLiteral("No progress; a report in JSON on standard output instead: each file's "
                                             "preview, start and where it came from, chorus sections, loudness and "
                                             "gain. With --dry-run also each command line, and nothing is made."));

QList<QCommandLineOption> All()
{
    return QList<QCommandLineOption>{Start, Duration, Bitrate, Format, Output, Beside, Join, Extension, KeepFolders, Jobs,
                                     FadeIn, FadeOut, Starts, Crossfade, NoTags, LoudnessTarget, Limit, Update, Prune,
                                     DryRun, Quiet, Json}
           + ReportOptions::All();
}

} // namespace CliOptionList
