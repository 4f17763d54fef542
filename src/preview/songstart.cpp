#include "preview/songstart.h"

#include "platform/numbers.h"

namespace SongStart {

QString FormsAccepted()
{
    return QStringLiteral("Give seconds (65, 2.5), m:ss (1:05) or h:mm:ss (1:02:03), a share of each song (25%), "
                          "or auto for where each song's chorus begins.");
}

std::optional<StartList::SourceCut> ReadField(const QString &text)
{
    StartList::SourceCut cut;
    if (const std::optional<double> number = Numbers::Read(text)) {
        cut.startSeconds = *number;
        return cut;
    }
    if (StartList::ReadStart(text.trimmed(), cut))
        return cut;
    return std::nullopt;
}

bool BeforeFirstSecond(const StartList::SourceCut &cut)
{
    return (cut.startSeconds && Numbers::RoundHalfEven(*cut.startSeconds) < 1) || cut.startShare == 0.0;
}

StartList::SourceCut ForJob(const QString &text)
{
    if (const std::optional<double> number = Numbers::Read(text))
        Numbers::ToInteger16(*number);
    const std::optional<StartList::SourceCut> cut = ReadField(text);
    if (cut && !BeforeFirstSecond(*cut))
        return *cut;
    StartList::SourceCut fallback;
    fallback.startSeconds = 3;
    return fallback;
}

bool PerSong(const StartList::SourceCut &cut)
{
    return cut.startAtChorus || cut.startShare;
}

} // namespace SongStart
