#include "analysis/chorussimilarity.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace Chorus {

namespace {

constexpr int DiagonalFrames = 12; // 6 s of reduced frames
constexpr double KeptShare = 0.15;
constexpr float Penalty = -2;

constexpr size_t Shifts = 12; // key shifts, a semitone apart
using PerShift = std::array<float, Shifts>;

// How alike frame `one` is to `other` at each of the key shifts: Likeness for every shift
// at once, the same products summed in the same order (so the same values to the last bit),
// in loops unrolled into vector instructions.
PerShift likenessAtAllShifts(const Chroma &one, const Chroma &other)
{
    std::array<float, 2 * Shifts> twice;
    std::copy(other.begin(), other.end(), twice.begin());
    std::copy(other.begin(), other.end(), twice.begin() + Shifts);
    PerShift likeness{};
#pragma GCC unroll 12
    for (size_t pitch = 0; pitch < 12; ++pitch) {
#pragma GCC unroll 12
        for (size_t shift = 0; shift < Shifts; ++shift)
            likeness[shift] += one[pitch] * twice[pitch + shift];
    }
    return likeness;
}

// The largest of the 12 values.
double largest(const std::array<double, Shifts> &values)
{
    return *std::max_element(values.begin(), values.end());
}

// One diagonal, `cells` long: for each cell, the mean of the likeness over DiagonalFrames
// cells starting there and over those ending there, each at every shift; the largest of them
// all goes into `best`. `sums` has room for cells+1 running sums per shift.
void smoothDiagonalInto(const PerShift *likeness, int cells, std::vector<std::array<double, Shifts>> &sums,
                        float *best)
{
    sums[0].fill(0);
    for (size_t row = 0; row < size_t(cells); ++row) {
        for (size_t shift = 0; shift < Shifts; ++shift)
            sums[row + 1][shift] = sums[row][shift] + likeness[row][shift];
    }
    std::array<double, Shifts> forward;
    std::array<double, Shifts> backward;
    for (int row = 0; row < cells; ++row) {
        const auto ahead = size_t(std::min(cells, row + DiagonalFrames));
        const auto behind = size_t(std::max(0, row + 1 - DiagonalFrames));
        for (size_t shift = 0; shift < Shifts; ++shift) {
            forward[shift] = sums[ahead][shift] - sums[size_t(row)][shift];
            backward[shift] = sums[size_t(row) + 1][shift] - sums[behind][shift];
        }
        // Dividing by the same count keeps the order of the sums, so the largest mean is the
        // largest sum's: two divisions per cell instead of two per shift.
        const double forwardMean = largest(forward) / double(ahead - size_t(row));
        const double backwardMean = largest(backward) / double(size_t(row) + 1 - behind);
        best[row] = float(std::max(forwardMean, backwardMean));
    }
}

// The value at which the top KeptShare of the matrix's values begin, from its upper half
// `best` (diagonal by diagonal, the main one, `size` values, first), where each value off the
// main diagonal stands for two.
float keptFrom(const std::vector<float> &best, size_t size)
{
    const auto rank = size_t(double(size * size - 1) * (1 - KeptShare));
    // A frame is most alike to itself: where the main diagonal lies at or above the value of
    // half the rank among the others, that is the matrix's value of the rank, found in half
    // the values.
    std::vector<float> others(best.begin() + long(size), best.end());
    if (rank / 2 < others.size()) {
        const auto cut = others.begin() + long(rank / 2);
        std::nth_element(others.begin(), cut, others.end());
        if (*std::min_element(best.begin(), best.begin() + long(size)) >= *cut)
            return *cut;
    }
    std::vector<float> all = best;
    all.insert(all.end(), best.begin() + long(size), best.end());
    const auto cut = all.begin() + long(rank);
    std::nth_element(all.begin(), cut, all.end());
    return *cut;
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

// One row of the search's states, each part side by side with the same part of the other
// states, so that several columns are worked out at once in vector instructions. A state's
// cells and rows share one number, the rows in the upper half: neither can pass the song's
// frames, which a matrix that fits in memory keeps below 65536.
struct StateRow {
    static constexpr uint32_t OneCell = 1;
    static constexpr uint32_t OneRow = 1 << 16;

    explicit StateRow(size_t states)
        : score(states, -std::numeric_limits<float>::infinity()), counts(states)
    {
    }
    State at(size_t column) const
    {
        return State{score[column], int(counts[column] % OneRow), int(counts[column] / OneRow)};
    }
    void set(size_t column, const State &state)
    {
        score[column] = state.score;
        counts[column] = uint32_t(state.cells) * OneCell + uint32_t(state.rows) * OneRow;
    }
    void swap(StateRow &other)
    {
        score.swap(other.score);
        counts.swap(other.counts);
    }
    std::vector<float> score;
    std::vector<uint32_t> counts;
};

// `one` if `first`, else `other`, without a jump: with both read either way, the compiler
// does not move the reading into the branch taken, which would keep it from vector instructions.
inline uint32_t either(bool first, uint32_t one, uint32_t other)
{
    return other ^ ((one ^ other) & -uint32_t(first));
}

// Works out the Count states from `from` (2 and up) of one row from the two rows before it:
// each the best of a step of one row and one column, one row and two columns, or two rows
// and one column, onto `values` (the row's cells, one column before the state's). A count
// fixed at compile time, worked out into arrays of its own that nothing else can overlap,
// lets the compiler work out several states at once in vector instructions.
template<bool Record, size_t Count>
void advance(const StateRow &twoBack, const StateRow &previous, StateRow &current, const float *values,
             Step *steps, size_t from)
{
    std::array<float, Count> score;
    std::array<uint32_t, Count> counts;
    std::array<Step, Count> step;
    for (size_t lane = 0; lane < Count; ++lane) {
        const size_t column = from + lane;
        const bool skipsColumn = previous.score[column - 2] > previous.score[column - 1];
        const float levelScore = skipsColumn ? previous.score[column - 2] : previous.score[column - 1];
        const uint32_t levelCounts = either(skipsColumn, previous.counts[column - 2], previous.counts[column - 1]);
        const bool skipsRow = twoBack.score[column - 1] > levelScore;
        score[lane] = (skipsRow ? twoBack.score[column - 1] : levelScore) + values[column - 1];
        counts[lane] = either(skipsRow, twoBack.counts[column - 1] + StateRow::OneCell + 2 * StateRow::OneRow,
                              levelCounts + StateRow::OneCell + StateRow::OneRow);
        step[lane] = skipsRow ? SkippedRow : skipsColumn ? SkippedColumn : Along;
    }
    std::copy(score.begin(), score.end(), current.score.begin() + long(from));
    std::copy(counts.begin(), counts.end(), current.counts.begin() + long(from));
    if (Record)
        std::copy(step.begin(), step.end(), steps + from);
}

// The best family of paths through the columns begin .. begin+length-1, by dynamic
// programming over the rows; with Record, how each state was reached goes into `steps`
// (length+1 per row) to walk the paths back.
template<bool Record>
Search search(const Matrix &similarity, int begin, int length, Step *steps)
{
    constexpr size_t Block = 8;
    const size_t states = size_t(length) + 1;
    StateRow twoBack(states), previous(states), current(states);
    previous.set(0, State{0, 0, 0});
    previous.set(1, extended(previous.at(0), similarity.at(0, begin), 1));
    for (int row = 1; row < similarity.size; ++row) {
        Step *step = Record ? steps + size_t(row) * states : nullptr;
        const bool ended = previous.score[states - 1] > previous.score[0];
        current.set(0, previous.at(ended ? states - 1 : 0));
        if (Record)
            step[0] = ended ? EndedPath : Along;
        current.set(1, extended(current.at(0), similarity.at(row, begin), 1));
        const float *values = &similarity.values[size_t(row) * size_t(similarity.size) + size_t(begin)];
        size_t column = 2;
        for (; column + Block <= states; column += Block)
            advance<Record, Block>(twoBack, previous, current, values, step, column);
        for (; column < states; ++column)
            advance<Record, 1>(twoBack, previous, current, values, step, column);
        twoBack.swap(previous);
        previous.swap(current);
    }
    const bool endsInPath = previous.score[states - 1] > previous.score[0];
    return Search{previous.at(endsInPath ? states - 1 : 0), endsInPath};
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
    std::vector<float> best(diagonalStarts.back());
    std::vector<PerShift> likeness(chroma.size());
    std::vector<std::array<double, Shifts>> sums(chroma.size() + 1);
    for (int offset = 0; offset < size; ++offset) {
        const int cells = size - offset;
        for (int row = 0; row < cells; ++row)
            likeness[size_t(row)] = likenessAtAllShifts(chroma[size_t(row)], chroma[size_t(row + offset)]);
        smoothDiagonalInto(likeness.data(), cells, sums, &best[diagonalStarts[size_t(offset)]]);
    }
    Matrix matrix;
    matrix.size = size;
    if (size == 0)
        return matrix;
    // The top KeptShare of the values scaled to 0..1, the rest set to Penalty.
    const float threshold = keptFrom(best, size_t(size));
    const float top = *std::max_element(best.begin(), best.end());
    const float range = std::max(top - threshold, 1e-6f);
    matrix.values.resize(size_t(size) * size_t(size));
    for (int offset = 0; offset < size; ++offset) {
        const float *values = &best[diagonalStarts[size_t(offset)]];
        for (int row = 0; row < size - offset; ++row) {
            const float value = values[row] >= threshold ? (values[row] - threshold) / range : Penalty;
            matrix.values[size_t(row) * size_t(size) + size_t(row + offset)] = value;
            matrix.values[size_t(row + offset) * size_t(size) + size_t(row)] = value;
        }
    }
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
