#include "batch/filecuts.h"

bool FileCuts::atChorus(int index) const
{
    const StartList::SourceCut *row = m_settings.cuts.isEmpty() ? nullptr : &m_settings.cuts.at(index);
    if (row && (row->startSeconds || row->startShare || row->startAtChorus))
        return row->startAtChorus;
    return m_settings.startAtChorus;
}

const StartList::SourceCut *FileCuts::ownStart(int index) const
{
    const StartList::SourceCut *own = m_settings.cuts.isEmpty() ? nullptr : &m_settings.cuts.at(index);
    return own && (own->startSeconds || own->startShare) ? own : nullptr;
}

std::optional<double> FileCuts::share(int index) const
{
    const StartList::SourceCut *own = ownStart(index);
    return own ? own->startShare : m_settings.startShare;
}

double FileCuts::seconds(int index) const
{
    const StartList::SourceCut *own = ownStart(index);
    return own ? own->startSeconds.value_or(0) : m_settings.startSeconds;
}

double FileCuts::duration(int index) const
{
    if (m_settings.cuts.isEmpty())
        return m_settings.durationSeconds;
    return m_settings.cuts.at(index).durationSeconds.value_or(m_settings.durationSeconds);
}

PreviewRecord::StartOrigin FileCuts::origin(int index) const
{
    using Origin = PreviewRecord::StartOrigin;
    if (ownStart(index))
        return Origin::List;
    return share(index) ? Origin::Share : Origin::Seconds;
}

// The start rule (not a start found in the audio, which is only known after the work), the
// length, the rate, the fades and the loudness: the same list with the same settings gives
// the same record.
PreviewRecord::Recipe FileCuts::recipe(int index) const
{
    PreviewRecord::Recipe recipe;
    recipe.start = PreviewRecord::StartRule(atChorus(index), share(index), seconds(index));
    recipe.duration = duration(index);
    recipe.kbps = m_settings.kbps;
    recipe.fadeIn = m_settings.fadeIn;
    recipe.fadeOut = m_settings.fadeOut;
    recipe.loudness = m_settings.loudness;
    recipe.limit = m_settings.limit;
    return recipe;
}
