#pragma once

#include "compare/kcancel.h"

#include <QString>
#include <QStringView>
#include <QVector>

// Text split into lines, all held in one string: a large file costs its characters and two
// numbers a line, not an object per line.
class KLines
{
public:
    KLines() = default;
    // Splits at "\n", "\r\n" and "\r"; a final line break starts no empty line.
    explicit KLines(QString text);

    int count() const { return m_starts.size(); }
    QStringView line(int index) const
    {
        return QStringView(m_text).mid(m_starts.at(index), m_lengths.at(index));
    }
    int characters() const { return m_text.size(); }

    // Builds the text a line at a time.
    void append(QStringView line);

private:
    QString m_text;
    QVector<int> m_starts;
    QVector<int> m_lengths;
};

// A run of characters within a line, marked as changed.
struct KSpan
{
    int start = 0;
    int length = 0;
    bool operator==(const KSpan& other) const { return start == other.start && length == other.length; }
};

struct KDiffLine
{
    enum Op : quint8
    {
        Same,
        Removed,
        Added,
        // Unchanged lines left out between changes; `oldNumber` is how many.
        Skipped,
    };
    Op op = Same;
    int oldNumber = 0; // 1-based line number in the old text, 0 for an added line
    int newNumber = 0; // in the new text, 0 for a removed line
    QString text;
    // The words that changed, where a removed line and an added line pair up.
    QVector<KSpan> marks;
};

struct KTextDiff
{
    QVector<KDiffLine> lines; // the changes with a few unchanged lines around each
    int removed = 0;
    int added = 0;
    // Parts too costly to match line by line are shown as removed and added whole.
    bool approximate = false;
    // `lines` stops at MaxListedLines; the counts cover every line.
    bool truncated = false;
    bool identical() const { return removed == 0 && added == 0; }
};

namespace KTextDiffer {

// A text of more lines is not compared line by line: each line costs a number or two per step.
constexpr int MaxLines = 500'000;
// What a view is given to show, whatever the two texts are.
constexpr int MaxListedLines = 20'000;

// The line diff of `before` and `after` (Myers' algorithm, in linear space, with a bound on its
// work), with the changed words of paired lines marked and `context` unchanged lines kept around
// each change. Empty when cancelled.
KTextDiff diff(const KLines& before, const KLines& after, const KCancel& cancel, int context = 3);

// The changed parts of one line against another: words, runs of blanks and single other
// characters (each Chinese character is a word of its own) that the other line lacks.
void markWords(QStringView before, QStringView after, QVector<KSpan>* removed, QVector<KSpan>* added);

} // namespace KTextDiffer
