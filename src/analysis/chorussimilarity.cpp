#include "analysis/chorussimilarity.h"

#include <algorithm>
#include <cstdint>

namespace Chorus {

namespace {

constexpr int DiagonalFrames = 12; // 6 s of reduced frames
constexpr double KeptShare = 0.15;
constexpr float Penalty = -2;

// The mean of the `cells` values of one diagonal over DiagonalFrames cells starting at each
// cell, and ending at each; the larger of the two goes into `best` when larger than what is
// there.
void smoothDiagonalInto(const float *values, int cells, std::vector<double> &sums, float *best)
{
    for (int row = 0; row < cells; ++row)
        sums[size_t(row) + 1] = sums[size_t(row)] + values[row];
    for (int row = 0; row < cells; ++row) {
        const int ahead = std::min(cells, row + DiagonalFrames);
        const int behind = std::max(0, row + 1 - DiagonalFrames);
        const double forward = (sums[size_t(ahead)] - sums[size_t(row)]) / (ahead - row);
        const double backward = (sums[size_t(row) + 1] - sums[size_t(behind)]) / (row + 1 - behind);
        best[row] = std::max(best[row], float(std::max(forward, backward)));
    }
}

// The top KeptShare of the values scaled to 0..1, the rest set to Penalty.
void keepTop(std::vector<float> &values)
{
    if (values.empty())
        return;
    std::vector<float> sorted = values;
    const auto cut = sorted.begin() + long(double(sorted.size() - 1) * (1 - KeptShare));
    std::nth_element(sorted.begin(), cut, sorted.end());
    const float threshold = *cut;
    const float top = *std::max_element(values.begin(), values.end());
    const float range = std::max(top - threshold, 1e-6f);
    for (float &value : values)
        value = value >= threshold ? (value - threshold) / range : Penalty;
}

// One state of the search for a path family: its score, the cells of its paths, and the
// rows (frames of the song) those paths cover.
struct State {
    float score = -std::numeric_limits<float>::infinity();
    int cells = 0;
    int rows = 0;
};

State extended(const State &state, float value, int rows)
{
    return State{state.score + value, state.cells + 1, state.rows + rows};
}

// How a state was reached. State 0 (between paths): from state 0 a row before, or from the
// end of a path there. State m > 0 (m columns of a path done): a step of one row and one
// column, one row and two columns, or two rows and one column.
enum Step : uint8_t { Along, SkippedColumn, SkippedRow };
constexpr Step EndedPath = SkippedColumn;

double fitnessOf(const State &family, int length, int songFrames)
{
    const double score = (family.score - length) / std::max(family.cells, 1);
    const double coverage = double(family.rows - length) / songFrames;
    if (score <= 0 || coverage <= 0)
        return 0;
    return 2 * score * coverage / (score + coverage);
}

// The paths of the family, walked back from the last row through the recorded steps.
std::vector<Occurrence> occurrencesOf(const Matrix &similarity, const std::vector<Step> &steps, int begin,
                                      int length, bool endsInPath)
{
    const size_t states = size_t(length) + 1;
    std::vector<Occurrence> found;
    int row = similarity.size - 1;
    int state = endsInPath ? length : 0;
    Occurrence path{0, row + 1, 0};
    int cells = 0;
    while (row >= 0) {
        if (state == 0) {
            if (row == 0)
                break;
            const bool ended = steps[size_t(row) * states] == EndedPath;
            --row;
            state = ended ? length : 0;
            path = Occurrence{0, row + 1, 0};
            cells = 0;
            continue;
        }
        path.match += similarity.at(row, begin + state - 1);
        ++cells;
        if (state == 1) {
            path.begin = row;
            path.match /= float(cells);
            found.push_back(path);
            state = 0;
            continue;
        }
        const Step step = steps[size_t(row) * states + size_t(state)];
        row -= step == SkippedRow ? 2 : 1;
        state -= step == SkippedColumn ? 2 : 1;
    }
    std::reverse(found.begin(), found.end());
    return found;
}

struct Search {
    State family;
    bool endsInPath;
};

// The best family of paths through the columns begin .. begin+length-1, by dynamic
// programming over the rows; with Record, how each state was reached goes into `steps`
// (length+1 per row) to walk the paths back.
template<bool Record>
Search search(const Matrix &similarity, int begin, int length, Step *steps)
{
    const size_t states = size_t(length) + 1;
    std::vector<State> twoBack(states), previous(states), current(states);
    previous[0] = State{0, 0, 0};
    previous[1] = extended(previous[0], similarity.at(0, begin), 1);
    for (int row = 1; row < similarity.size; ++row) {
        Step *step = Record ? steps + size_t(row) * states : nullptr;
        const bool ended = previous[states - 1].score > previous[0].score;
        current[0] = ended ? previous[states - 1] : previous[0];
        if (Record)
            step[0] = ended ? EndedPath : Along;
        current[1] = extended(current[0], similarity.at(row, begin), 1);
        const float *values = &similarity.values[size_t(row) * size_t(similarity.size) + size_t(begin)];
        for (size_t column = 2; column < states; ++column) {
            const State &along = previous[column - 1];
            const State &skippedColumn = previous[column - 2];
            const State &skippedRow = twoBack[column - 1];
            const bool skipsColumn = skippedColumn.score > along.score;
            const State &level = skipsColumn ? skippedColumn : along;
            const bool skipsRow = skippedRow.score > level.score;
            current[column] = skipsRow ? extended(skippedRow, values[column - 1], 2) : extended(level, values[column - 1], 1);
            if (Record)
                step[column] = skipsRow ? SkippedRow : skipsColumn ? SkippedColumn : Along;
        }
        std::swap(twoBack, previous);
        std::swap(previous, current);
    }
    const bool endsInPath = previous[states - 1].score > previous[0].score;
    return Search{endsInPath ? previous[states - 1] : previous[0], endsInPath};
}

} // namespace

Matrix SelfSimilarity(const std::vector<Chroma> &chroma)
{
    const int size = int(chroma.size());
    // The half above the main diagonal, diagonal by diagonal: shifting the one frame up is
    // shifting the other down, so over all 12 shifts the best is the same either way round.
    std::vector<size_t> diagonalStarts(size_t(size) + 1);
    for (int offset = 0; offset < size; ++offset)
        diagonalStarts[size_t(offset) + 1] = diagonalStarts[size_t(offset)] + size_t(size - offset);
    std::vector<float> best(diagonalStarts.back(), -std::numeric_limits<float>::infinity());
    std::vector<float> diagonal(chroma.size());
    std::vector<double> sums(chroma.size() + 1);
    std::vector<Chroma> shifted(chroma.size());
    for (int shift = 0; shift < 12; ++shift) {
        for (size_t frame = 0; frame < chroma.size(); ++frame)
            std::rotate_copy(chroma[frame].begin(), chroma[frame].begin() + shift, chroma[frame].end(),
                             shifted[frame].begin());
        for (int offset = 0; offset < size; ++offset) {
            const int cells = size - offset;
            for (int row = 0; row < cells; ++row)
                diagonal[size_t(row)] = Likeness(chroma[size_t(row)], shifted[size_t(row + offset)]);
            smoothDiagonalInto(diagonal.data(), cells, sums, &best[diagonalStarts[size_t(offset)]]);
        }
    }
    Matrix matrix;
    matrix.size = size;
    matrix.values.resize(size_t(size) * size_t(size));
    for (int offset = 0; offset < size; ++offset) {
        const float *values = &best[diagonalStarts[size_t(offset)]];
        for (int row = 0; row < size - offset; ++row) {
            matrix.values[size_t(row) * size_t(size) + size_t(row + offset)] = values[row];
            matrix.values[size_t(row + offset) * size_t(size) + size_t(row)] = values[row];
        }
    }
    keepTop(matrix.values);
    return matrix;
}

Family FamilyOf(const Matrix &similarity, int begin, int length)
{
    Family family{begin, length, 0, {}};
    if (length <= 0 || begin < 0 || begin + length > similarity.size)
        return family;
    std::vector<Step> steps(size_t(similarity.size) * (size_t(length) + 1), Along);
    const Search found = search<true>(similarity, begin, length, steps.data());
    family.fitness = fitnessOf(found.family, length, similarity.size);
    family.occurrences = occurrencesOf(similarity, steps, begin, length, found.endsInPath);
    return family;
}

double FitnessOf(const Matrix &similarity, int begin, int length)
{
    if (length <= 0 || begin < 0 || begin + length > similarity.size)
        return 0;
    return fitnessOf(search<false>(similarity, begin, length, nullptr).family, length, similarity.size);
}

std::vector<double> Fitness(const Matrix &similarity, int length, int first, int last, int stride)
{
    if (length <= 0 || length > similarity.size)
        return {};
    std::vector<double> fitness(size_t(similarity.size - length + 1));
    for (int start = std::max(first, 0); start <= std::min(last, int(fitness.size()) - 1); start += std::max(stride, 1))
        fitness[size_t(start)] = FitnessOf(similarity, start, length);
    return fitness;
}

} // namespace Chorus
