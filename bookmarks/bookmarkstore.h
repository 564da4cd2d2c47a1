// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include "bookmark.h"
#include "vantorclient.h"

// The bookmarks of the streams a page shows, as the server keeps them (one dynamic attribute of
// the stream's object each, see Bookmark), in a list model sorted by their start.
//
// fetch() reads the streams' attributes again: a bookmark another station made appears then.
// add(), edit() and remove() write to the server and change the list once it agreed, so that the
// station that wrote sees its change at once; a write the server refuses changes nothing and ends
// in writeFailed() with the server's message, so that the dialog keeps the operator's text.
// GUI thread only.
class BookmarkStore : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(VantorClient* client READ client WRITE setClient NOTIFY clientChanged)
    Q_PROPERTY(QString author READ author WRITE setAuthor NOTIFY authorChanged)
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // Counts up with every change of the list, for bindings that read it through get().
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)

public:
    enum Roles {
        IdRole = Qt::UserRole + 1,
        StreamIdRole,
        StartRole,
        EndRole,
        TitleRole,
        NoteRole,
        AuthorRole,
        CreatedRole,
    };
    Q_ENUM(Roles)

    explicit BookmarkStore(QObject* parent = nullptr);
    ~BookmarkStore() override;

    VantorClient* client() const { return m_client; }
    void setClient(VantorClient* client);
    // Who the new bookmarks are by: the signed-in user.
    QString author() const { return m_author; }
    void setAuthor(const QString& author);
    bool busy() const { return m_pending > 0; }
    int revision() const { return m_revision; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QVector<Bookmark>& bookmarks() const { return m_bookmarks; }
    // The row's bookmark as a map of the role names, for QML; empty for a row out of range.
    Q_INVOKABLE QVariantMap get(int row) const;
    // Those whose title or note holds the text, whatever its case, by start.
    Q_INVOKABLE QVariantList search(const QString& text) const;

    // Reads the bookmarks of these streams; the list then holds theirs only.
    Q_INVOKABLE void fetch(const QStringList& streamIds);
    // False, with writeFailed not emitted, when the texts cannot be stored (why: checkTexts).
    Q_INVOKABLE bool add(const QString& streamId, qlonglong startMs, qlonglong endMs, const QString& title,
                         const QString& note);
    Q_INVOKABLE bool edit(const QString& id, const QString& title, const QString& note);
    Q_INVOKABLE void remove(const QString& id);
    Q_INVOKABLE static QString checkTexts(const QString& title, const QString& note);

signals:
    void clientChanged();
    void authorChanged();
    void countChanged();
    void busyChanged();
    void revisionChanged();
    // A stream's bookmarks were read (invalid attributes among them were skipped with a warning).
    void fetched(const QString& streamId);
    void fetchFailed(const QString& streamId, const QString& message);
    // A write the server did: the bookmark as it now is.
    void saved(const QString& id);
    void removed(const QString& id);
    void writeFailed(const QString& id, const QString& message);

private:
    int rowOf(const QString& id) const;
    void insertSorted(const Bookmark& bookmark);
    void replaceStream(const QString& streamId, QVector<Bookmark> bookmarks);
    void touch();
    void startRequest();
    void endRequest();

    QPointer<VantorClient> m_client;
    QString m_author;
    QVector<Bookmark> m_bookmarks;
    QStringList m_streams;
    // Answers to an earlier fetch of a stream that was fetched again are dropped.
    QHash<QString, int> m_fetchGeneration;
    int m_pending = 0;
    int m_revision = 0;
};
