// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QObject>
#include <QStringList>
#include <QVariantList>

// The POS receipts of a stretch of recorded video, as the gateway's "/pos-data" gives them, and
// the overlay lines they make at any moment of the video. The lines follow the video's own clock:
// they are a function of the position, so a pause holds them, a seek shows the lines of the new
// moment and a faster speed brings them faster. They behave as on a live tile: a receipt's lines
// come at once, at most maxLines are kept, and once no receipt has come for holdMs the oldest line
// goes, then one more every trimMs.
class PosTrack : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY changed)
    Q_PROPERTY(int leadMs READ leadMs WRITE setLeadMs NOTIFY changed)
    Q_PROPERTY(int maxLines READ maxLines WRITE setMaxLines NOTIFY changed)
    Q_PROPERTY(int holdMs READ holdMs WRITE setHoldMs NOTIFY changed)
    Q_PROPERTY(int trimMs READ trimMs WRITE setTrimMs NOTIFY changed)

public:
    explicit PosTrack(QObject* parent = nullptr);
    ~PosTrack() override;

    int count() const { return static_cast<int>(m_receipts.size()); }
    int leadMs() const { return m_leadMs; }
    void setLeadMs(int value);
    int maxLines() const { return m_maxLines; }
    void setMaxLines(int value);
    int holdMs() const { return m_holdMs; }
    void setHoldMs(int value);
    int trimMs() const { return m_trimMs; }
    void setTrimMs(int value);

    // Takes the receipts of a "/pos-data" answer ({"from", "to", "arr": [{"time", "text"}]}),
    // sorted by time (equal times keep their order). Entries without a usable time or text are
    // left out with a warning. A document that is not such an answer leaves no receipts and gives
    // false: the receipts of another stretch must not show over this one.
    Q_INVOKABLE bool load(const QString& json);
    Q_INVOKABLE void clear();

    // The overlay's lines, oldest first, at this moment of the video (ms since the epoch).
    Q_INVOKABLE QStringList linesAt(qlonglong ms) const;
    // Receipt times (ms since the epoch), in order: the marks of a timeline.
    Q_INVOKABLE QVariantList times() const;
    Q_INVOKABLE qlonglong timeOf(int receipt) const;
    Q_INVOKABLE QString textOf(int receipt) const;
    // Lines that hold the text, case-insensitively, in time order: {time, line, receipt}. At most
    // `limit` of them; an empty text finds nothing.
    Q_INVOKABLE QVariantList search(const QString& text, int limit = 1000) const;

signals:
    void changed();

private:
    struct Receipt
    {
        qint64 time = 0;
        int firstLine = 0; // index into m_lines
        int lineCount = 0;
        int queued = 0; // lines in the overlay right after this receipt came
    };

    int trimmedAfter(qint64 elapsedMs) const;
    void rebuildQueue();

    std::vector<Receipt> m_receipts;
    QStringList m_lines;
    int m_leadMs = 0;
    int m_maxLines = 200;
    int m_holdMs = 3000;
    int m_trimMs = 500;
};
