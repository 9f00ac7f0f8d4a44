#include "compare/ktextdiff.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace {

// Steps of the line diff before what is left is shown as replaced whole: a few seconds at most,
// whatever the two texts are.
constexpr qint64 LineBudget = 60'000'000;
constexpr qint64 WordBudget = 400'000;
// Longer lines are marked as changed without their words.
constexpr int MaxWordLine = 5000;

// Myers' diff of two sequences of numbers, by bisection at the middle snake so that it needs
// linear space. Marks what is removed from `a` and added to `b`.
class KMyers
{
public:
    KMyers(const QVector<int>& a, const QVector<int>& b, qint64 budget, const KCancel* cancel)
        : m_removed(size_t(a.size()), false)
        , m_added(size_t(b.size()), false)
        , m_a(a.constData())
        , m_b(b.constData())
        , m_v1(size_t(a.size() + b.size() + 4), -1)
        , m_v2(m_v1.size(), -1)
        , m_budget(budget)
        , m_cancel(cancel)
    {
        compare(0, a.size(), 0, b.size());
    }

    std::vector<bool> m_removed;
    std::vector<bool> m_added;
    bool m_approximate = false;

private:
    bool outOfTime() const { return m_budget <= 0 || (m_cancel && m_cancel->isCancelled()); }

    void replace(int aLo, int aHi, int bLo, int bHi)
    {
        std::fill(m_removed.begin() + aLo, m_removed.begin() + aHi, true);
        std::fill(m_added.begin() + bLo, m_added.begin() + bHi, true);
    }

    void compare(int aLo, int aHi, int bLo, int bHi)
    {
        while (aLo < aHi && bLo < bHi && m_a[aLo] == m_b[bLo]) {
            ++aLo;
            ++bLo;
        }
        while (aLo < aHi && bLo < bHi && m_a[aHi - 1] == m_b[bHi - 1]) {
            --aHi;
            --bHi;
        }
        if (aLo == aHi || bLo == bHi) {
            replace(aLo, aHi, bLo, bHi);
            return;
        }
        int x = 0;
        int y = 0;
        const bool split = bisect(aLo, aHi, bLo, bHi, &x, &y);
        if (!split || (x == 0 && y == 0) || (x == aHi - aLo && y == bHi - bLo)) {
            m_approximate = m_approximate || outOfTime();
            replace(aLo, aHi, bLo, bHi);
            return;
        }
        compare(aLo, aLo + x, bLo, bLo + y);
        compare(aLo + x, aHi, bLo + y, bHi);
    }

    // Finds a point of an optimal path by running the search from both ends until they meet;
    // false when they never do (nothing in common) or the budget ran out.
    bool bisect(int aLo, int aHi, int bLo, int bHi, int* splitX, int* splitY)
    {
        const int* a = m_a + aLo;
        const int* b = m_b + bLo;
        const int n = aHi - aLo;
        const int m = bHi - bLo;
        const int maxD = (n + m + 1) / 2;
        const int offset = maxD;
        const int length = 2 * maxD + 2;
        std::fill_n(m_v1.begin(), length, -1);
        std::fill_n(m_v2.begin(), length, -1);
        m_v1[size_t(offset + 1)] = 0;
        m_v2[size_t(offset + 1)] = 0;
        const int delta = n - m;
        const bool front = delta % 2 != 0;
        int k1start = 0;
        int k1end = 0;
        int k2start = 0;
        int k2end = 0;
        for (int d = 0; d < maxD; ++d) {
            m_budget -= 2 * d + 1;
            if (outOfTime())
                return false;
            for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
                const int k1o = offset + k1;
                int x1 = (k1 == -d || (k1 != d && m_v1[size_t(k1o - 1)] < m_v1[size_t(k1o + 1)]))
                    ? m_v1[size_t(k1o + 1)]
                    : m_v1[size_t(k1o - 1)] + 1;
                int y1 = x1 - k1;
                const int x0 = x1;
                while (x1 < n && y1 < m && a[x1] == b[y1]) {
                    ++x1;
                    ++y1;
                }
                m_budget -= x1 - x0;
                m_v1[size_t(k1o)] = x1;
                if (x1 > n) {
                    k1end += 2;
                } else if (y1 > m) {
                    k1start += 2;
                } else if (front) {
                    const int k2o = offset + delta - k1;
                    if (k2o >= 0 && k2o < length && m_v2[size_t(k2o)] != -1 && x1 >= n - m_v2[size_t(k2o)]) {
                        *splitX = x1;
                        *splitY = y1;
                        return true;
                    }
                }
            }
            for (int k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
                const int k2o = offset + k2;
                int x2 = (k2 == -d || (k2 != d && m_v2[size_t(k2o - 1)] < m_v2[size_t(k2o + 1)]))
                    ? m_v2[size_t(k2o + 1)]
                    : m_v2[size_t(k2o - 1)] + 1;
                int y2 = x2 - k2;
                const int x0 = x2;
                while (x2 < n && y2 < m && a[n - x2 - 1] == b[m - y2 - 1]) {
                    ++x2;
                    ++y2;
                }
                m_budget -= x2 - x0;
                m_v2[size_t(k2o)] = x2;
                if (x2 > n) {
                    k2end += 2;
                } else if (y2 > m) {
                    k2start += 2;
                } else if (!front) {
                    const int k1o = offset + delta - k2;
                    if (k1o >= 0 && k1o < length && m_v1[size_t(k1o)] != -1) {
                        const int x1 = m_v1[size_t(k1o)];
                        if (x1 >= n - x2) {
                            *splitX = x1;
                            *splitY = x1 - (k1o - offset);
                            return true;
                        }
                    }
                }
            }
        }
        return false;
    }

    const int* m_a;
    const int* m_b;
    std::vector<int> m_v1;
    std::vector<int> m_v2;
    qint64 m_budget;
    const KCancel* m_cancel;
};

bool isIdeograph(ushort c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xAC00 && c <= 0xD7AF)
        || (c >= 0xFF00 && c <= 0xFFEF);
}

bool isWordChar(QChar c)
{
    return (c.isLetterOrNumber() || c == QLatin1Char('_')) && !isIdeograph(c.unicode());
}

QVector<KSpan> tokensOf(QStringView text)
{
    QVector<KSpan> tokens;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        int j = i + 1;
        if (isWordChar(c)) {
            while (j < n && isWordChar(text.at(j)))
                ++j;
        } else if (c.isSpace()) {
            while (j < n && text.at(j).isSpace())
                ++j;
        } else if (c.isHighSurrogate() && j < n && text.at(j).isLowSurrogate()) {
            ++j;
        }
        tokens.append({ i, j - i });
        i = j;
    }
    return tokens;
}

// Joins the marked tokens into runs.
QVector<KSpan> runsOf(const QVector<KSpan>& tokens, const std::vector<bool>& marked)
{
    QVector<KSpan> runs;
    for (int t = 0; t < tokens.size(); ++t) {
        if (!marked[size_t(t)])
            continue;
        const KSpan& token = tokens.at(t);
        if (!runs.isEmpty() && runs.last().start + runs.last().length == token.start)
            runs.last().length += token.length;
        else
            runs.append(token);
    }
    return runs;
}

// The same number for the same text.
int numberOf(QHash<QStringView, int>* numbers, QStringView text)
{
    const auto found = numbers->constFind(text);
    return found != numbers->constEnd() ? *found : *numbers->insert(text, numbers->size());
}

struct Step
{
    KDiffLine::Op op;
    int oldIndex; // -1 where there is none
    int newIndex;
};

} // namespace

KLines::KLines(QString text)
    : m_text(std::move(text))
{
    const int n = m_text.size();
    const QChar* data = m_text.constData();
    int start = 0;
    for (int i = 0; i < n; ++i) {
        const ushort c = data[i].unicode();
        if (c != '\n' && c != '\r')
            continue;
        m_starts.append(start);
        m_lengths.append(i - start);
        if (c == '\r' && i + 1 < n && data[i + 1].unicode() == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n) {
        m_starts.append(start);
        m_lengths.append(n - start);
    }
}

void KLines::append(QStringView line)
{
    m_starts.append(m_text.size());
    m_lengths.append(line.size());
    m_text.append(line.data(), line.size());
}

namespace KTextDiffer {

void markWords(QStringView before, QStringView after, QVector<KSpan>* removed, QVector<KSpan>* added)
{
    if (before.size() > MaxWordLine || after.size() > MaxWordLine)
        return;
    const QVector<KSpan> oldTokens = tokensOf(before);
    const QVector<KSpan> newTokens = tokensOf(after);
    QHash<QStringView, int> numbers;
    auto numbered = [&numbers](QStringView text, const QVector<KSpan>& tokens) {
        QVector<int> result;
        result.reserve(tokens.size());
        for (const KSpan& token : tokens)
            result.append(numberOf(&numbers, text.mid(token.start, token.length)));
        return result;
    };
    const QVector<int> a = numbered(before, oldTokens);
    const QVector<int> b = numbered(after, newTokens);
    const KMyers myers(a, b, WordBudget, nullptr);
    *removed = runsOf(oldTokens, myers.m_removed);
    *added = runsOf(newTokens, myers.m_added);
}

KTextDiff diff(const KLines& before, const KLines& after, const KCancel& cancel, int context)
{
    KTextDiff result;
    QHash<QStringView, int> numbers;
    auto numbered = [&numbers](const KLines& lines) {
        QVector<int> sequence;
        sequence.reserve(lines.count());
        for (int i = 0; i < lines.count(); ++i)
            sequence.append(numberOf(&numbers, lines.line(i)));
        return sequence;
    };
    const QVector<int> a = numbered(before);
    const QVector<int> b = numbered(after);
    const KMyers myers(a, b, LineBudget, &cancel);
    if (cancel.isCancelled())
        return {};
    result.approximate = myers.m_approximate;

    QVector<Step> steps;
    int i = 0;
    int j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && myers.m_removed[size_t(i)]) {
            steps.append({ KDiffLine::Removed, i++, -1 });
            ++result.removed;
        } else if (j < b.size() && myers.m_added[size_t(j)]) {
            steps.append({ KDiffLine::Added, -1, j++ });
            ++result.added;
        } else {
            steps.append({ KDiffLine::Same, i++, j++ });
        }
    }
    if (result.identical())
        return result;

    // False once the list is full.
    auto appendLine = [&](const Step& step) {
        if (result.lines.size() >= MaxListedLines) {
            result.truncated = true;
            return false;
        }
        KDiffLine line;
        line.op = step.op;
        line.oldNumber = step.oldIndex + 1;
        line.newNumber = step.newIndex + 1;
        line.text = (step.oldIndex >= 0 ? before.line(step.oldIndex) : after.line(step.newIndex)).toString();
        result.lines.append(line);
        return true;
    };
    int s = 0;
    while (s < steps.size()) {
        if (steps.at(s).op == KDiffLine::Same) {
            int end = s;
            while (end < steps.size() && steps.at(end).op == KDiffLine::Same)
                ++end;
            const int keepHead = s == 0 ? 0 : context;
            const int keepTail = end == steps.size() ? 0 : context;
            if (end - s > keepHead + keepTail + 1) {
                for (int k = s; k < s + keepHead; ++k)
                    appendLine(steps.at(k));
                if (result.lines.size() < MaxListedLines) {
                    KDiffLine skipped;
                    skipped.op = KDiffLine::Skipped;
                    skipped.oldNumber = end - s - keepHead - keepTail;
                    result.lines.append(skipped);
                }
                for (int k = end - keepTail; k < end; ++k)
                    appendLine(steps.at(k));
            } else {
                for (int k = s; k < end; ++k)
                    appendLine(steps.at(k));
            }
            s = end;
            continue;
        }
        // A change: its removed lines, then its added lines; the n-th of each pair up.
        const int first = result.lines.size();
        int removed = 0;
        while (s < steps.size() && steps.at(s).op != KDiffLine::Same) {
            if (appendLine(steps.at(s)) && steps.at(s).op == KDiffLine::Removed)
                ++removed;
            ++s;
        }
        const int addedCount = result.lines.size() - first - removed;
        for (int p = 0; p < qMin(removed, addedCount); ++p) {
            KDiffLine& oldLine = result.lines[first + p];
            KDiffLine& newLine = result.lines[first + removed + p];
            markWords(oldLine.text, newLine.text, &oldLine.marks, &newLine.marks);
        }
    }
    return result;
}

} // namespace KTextDiffer
