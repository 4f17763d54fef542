#pragma once
// Which stretches of a song repeat, and how well: a self-similarity matrix of its reduced
// chroma and the families of repetitions of any one stretch (the fitness measure of Müller,
// Jiang and Grosche, "A robust fitness measure for capturing repetitions in music
// recordings", 2013).

#include "analysis/chorusfeatures.h"

#include <cstddef>
#include <limits>
#include <vector>

namespace Chorus {

// Square, symmetric; row-major.
struct Matrix {
    int size = 0;
    std::vector<float> values;
    float at(int row, int column) const { return values[size_t(row) * size_t(size) + size_t(column)]; }
};
// How alike every two frames are, the best of the 12 key shifts (a chorus sung a tone
// higher still repeats), averaged along the diagonals so that repeated stretches show as
// lines. The top 15 % of the values are scaled to 0..1, the rest become a penalty of -2.
Matrix SelfSimilarity(const std::vector<Chroma> &chroma);

// One place a stretch is played: frames begin .. end-1, and how well it matches there
// (the mean of the matrix along its path, up to 1).
struct Occurrence {
    int begin = 0;
    int end = 0;
    float match = 0;
};

// A stretch of the song and the best family of paths through its columns: each path crosses
// all of them with steps of (1,1), (1,2) or (2,1), no two sharing a row; the stretch itself
// is one of them. Its fitness is the harmonic mean of how well the other paths match and
// how much of the song they cover: 0 when nothing repeats it, up to 1.
struct Family {
    int begin = 0;
    int length = 0;
    double fitness = 0;
    std::vector<Occurrence> occurrences; // in the order they are played
};
Family FamilyOf(const Matrix &similarity, int begin, int length);
// The family's fitness alone, for less work.
double FitnessOf(const Matrix &similarity, int begin, int length);

// The fitness of every window of `length` frames (entry s: frames s .. s+length-1). Only
// the windows that start from first to last, every `stride` frames, are looked at; the
// others are left at 0.
std::vector<double> Fitness(const Matrix &similarity, int length, int first = 0,
                            int last = std::numeric_limits<int>::max(), int stride = 1);

} // namespace Chorus
