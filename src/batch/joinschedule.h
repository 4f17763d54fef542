#pragma once
// The joined files of a batch, one after another once every song is done: the pieces of each
// are handed to its JoinedFile, which makes it with the batch's tools and threads; with
// subfolders, one file in each folder. With update, once every song is named, a joined file
// that KeptJoins finds up to date is kept, and of the others each song's own preview that is
// up to date is its piece.
// Its files: joinschedule.cpp hands each joined file its pieces, _kept keeps joined files
// and takes previews for pieces.

#include "batch/batchrun.h"
#include "batch/songrun.h"
#include "preview/joinedfile.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"
#include "preview/previewresult.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class JoinSchedule {
public:
    // songs: the batch's, in list order. told: a joined file is made, kept or failed, as
    // joined() says; ended: the last one was told of, or the run stopped.
    JoinSchedule(const BatchRun &batch, std::vector<SongRun> &songs, std::function<void()> told,
                 std::function<void()> ended);

    // Names the joined files: one, or, with subfolders below an output folder, one in each.
    void begin();
    // With update, once every song is named: keeps each joined file whose mark meets what
    // this run would join and that is whole; of the others, takes each song's own preview as
    // its piece where that is up to date.
    void keepUpToDate();
    // Once every song is done: true while the joined file named is still to be made.
    bool due() const;
    // Makes (or keeps, or plans) the joined file named; the next follows once it is told of.
    void join();
    // Ends the joined file being made; what it was writing goes with it.
    void abandon();

    // The joined file being made; once told of, the one told of.
    const std::optional<PreviewResult> &joined() const { return m_joined; }
    // Every joined file told of so far, in order.
    const QList<PreviewResult> &joins() const { return m_joins; }
    // Where the pieces are cut ("" when not joining); removed at the end.
    QString pieceFolder() const;

private:
    // True for a song that goes into the joined file of that number.
    bool ofJoin(int index, int number) const;
    // What the joined file of that number is made of, in list order.
    QList<JoinedFile::Piece> piecesOf(int number) const;
    JoinedFile::Run joinRun();
    // Where the joined file of that number goes: in its folder, in the order the folders come.
    QString joinedPath(int number) const;
    void beginJoin(int number);
    // Tells of the joined file, then joins the next folder or ends.
    void endJoin();

    const BatchRun &m_batch;
    std::vector<SongRun> &m_songs;
    std::function<void()> m_told;
    std::function<void()> m_ended;
    QStringList m_folders; // of each joined file, below the output folder ("" for one join)
    QList<PreviewFiles::EarlierFile> m_earlier; // what each joined file's name held at the start
    QList<std::optional<PreviewMark::Record>> m_kept; // with update: each joined file's mark, when kept
    std::optional<PreviewResult> m_joined;
    std::unique_ptr<JoinedFile> m_joinedFile; // the one being made
    QList<PreviewResult> m_joins;
    int m_number = 0; // the joined file being made
};
