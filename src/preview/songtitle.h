#pragma once
// How a song is named where people look at many: its title and artist from its tags.

#include <QString>

namespace SongTitle {

struct Names {
    QString title;  // "" when the tags give none
    QString artist; // ""
};

// Read only, the file left as it is; both "" when it has no tags TagLib can read.
Names Read(const QString &path);

} // namespace SongTitle
