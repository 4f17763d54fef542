#include "analysis/chorussimilarity.h"

#include <algorithm>
#include <cstdint>

namespace Chorus {

namespace {

constexpr int DiagonalFrames = 12; // 6 s of reduced frames
constexpr double KeptShare = 0.15;
constexpr float Penalty = -2;

// On the diagonals from the main one up: the mean of `values` over DiagonalFrames cells
// starting at each cell, and ending at each; the larger of the two goes into `best` when
// larger than what is there.
void smoothDiagonalsInto(const std::vector<float> &values, int size, std::vector<float> &best)
{
    const auto at = [size](int row, int offset) { return size_t(row) * size_t(size) + size_t(row + offset); };
    std::vector<double> sums(size_t(size) + 1);
    for (int offset = 0; offset < size; ++offset) {
        const int cells = size - offset; // the rows of the diagonal
        for (int row = 0; row < cells; ++row)
            sums[size_t(row) + 1] = sums[size_t(row)] + values[at(row, offset)];
        for (int row = 0; row < cells; ++row) {
            const int ahead = std::min(cells, row + DiagonalFrames);
            const int behind = std::max(0, row + 1 - DiagonalFrames);
            const double forward = (sums[size_t(ahead)] - sums[size_t(row)]) / (ahead - row);
            const double backward = (sums[size_t(row) + 1] - sums[size_t(behind)]) / (row + 1 - behind);
            float &kept = best[at(row, offset)];
            kept = std::max(kept, float(std::max(forward, backward)));
        }
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

} // namespace

Matrix SelfSimilarity(const std::vector<Chroma> &chroma)
{
    Matrix matrix;
    matrix.size = int(chroma.size());
    const size_t cells = size_t(matrix.size) * size_t(matrix.size);
    matrix.values.assign(cells, -std::numeric_limits<float>::infinity());
    std::vector<float> shifted(cells);
    // The half above the main diagonal is enough: shifting the one frame up is shifting the
    // other down, so over all 12 shifts the best is the same either way round.
    for (int shift = 0; shift < 12; ++shift) {
        for (size_t row = 0; row < chroma.size(); ++row) {
            for (size_t column = row; column < chroma.size(); ++column)
                shifted[row * chroma.size() + column] = Likeness(chroma[row], chroma[column], shift);
        }
        smoothDiagonalsInto(shifted, matrix.size, matrix.values);
    }
    for (size_t row = 0; row < chroma.size(); ++row) {
        for (size_t column = 0; column < row; ++column)
            matrix.values[row * chroma.size() + column] = matrix.values[column * chroma.size() + row];
    }
    keepTop(matrix.values);
    return matrix;
}

Family FamilyOf(const Matrix &similarity, int begin, int length)
{
    Family family{begin, length, 0, {}};
    if (length <= 0 || begin < 0 || begin + length > similarity.size)
        return family;
    const size_t states = size_t(length) + 1;
    std::vector<Step> steps(size_t(similarity.size) * states, Along);
    std::vector<State> twoBack(states), previous(states), current(states);
    previous[0] = State{0, 0, 0};
    previous[1] = extended(previous[0], similarity.at(0, begin), 1);
    for (int row = 1; row < similarity.size; ++row) {
        Step *step = &steps[size_t(row) * states];
        const bool ended = previous[states - 1].score > previous[0].score;
        current[0] = ended ? previous[states - 1] : previous[0];
        step[0] = ended ? EndedPath : Along;
        current[1] = extended(current[0], similarity.at(row, begin), 1);
        for (size_t column = 2; column < states; ++column) {
            const float value = similarity.at(row, begin + int(column) - 1);
            const State &along = previous[column - 1];
            const State &skippedColumn = previous[column - 2];
            const State &skippedRow = twoBack[column - 1];
            step[column] = skippedColumn.score > along.score ? SkippedColumn : Along;
            const State &level = step[column] == Along ? along : skippedColumn;
            if (skippedRow.score > level.score) {
                step[column] = SkippedRow;
                current[column] = extended(skippedRow, value, 2);
            } else {
                current[column] = extended(level, value, 1);
            }
        }
        std::swap(twoBack, previous);
        std::swap(previous, current);
    }
    const bool endsInPath = previous[states - 1].score > previous[0].score;
    family.fitness = fitnessOf(endsInPath ? previous[states - 1] : previous[0], length, similarity.size);
    family.occurrences = occurrencesOf(similarity, steps, begin, length, endsInPath);
    return family;
}

std::vector<double> Fitness(const Matrix &similarity, int length, int first, int last)
{
    if (length <= 0 || length > similarity.size)
        return {};
    std::vector<double> fitness(size_t(similarity.size - length + 1));
    for (int start = std::max(first, 0); start <= std::min(last, int(fitness.size()) - 1); ++start)
        fitness[size_t(start)] = FamilyOf(similarity, start, length).fitness;
    return fitness;
}

} // namespace Chorus
