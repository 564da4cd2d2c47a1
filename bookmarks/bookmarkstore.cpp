// SPDX-License-Identifier: MIT
#include "bookmarkstore.h"

#include <algorithm>

#include <QDateTime>

#include "bookmarkslog.h"
#include "vantorclient.h"

namespace {

bool startsBefore(const Bookmark& a, const Bookmark& b)
{
    return a.startMs != b.startMs ? a.startMs < b.startMs : a.id < b.id;
}

} // namespace

BookmarkStore::BookmarkStore(QObject* parent) : QAbstractListModel(parent) {}

BookmarkStore::~BookmarkStore() = default;

void BookmarkStore::setClient(VantorClient* client)
{
    if (m_client == client)
        return;
    m_client = client;
    emit clientChanged();
}

void BookmarkStore::setAuthor(const QString& author)
{
    if (m_author == author)
        return;
    m_author = author;
    emit authorChanged();
}

int BookmarkStore::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_bookmarks.size();
}

QVariant BookmarkStore::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Bookmark& bookmark = m_bookmarks.at(index.row());
    switch (role) {
    case IdRole:
        return bookmark.id;
    case StreamIdRole:
        return bookmark.streamId;
    case StartRole:
        return qlonglong(bookmark.startMs);
    case EndRole:
        return qlonglong(bookmark.endMs);
    case Qt::DisplayRole:
    case TitleRole:
        return bookmark.title;
    case NoteRole:
        return bookmark.note;
    case AuthorRole:
        return bookmark.author;
    case CreatedRole:
        return qlonglong(bookmark.createdMs);
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> BookmarkStore::roleNames() const
{
    return {{IdRole, "bookmarkId"}, {StreamIdRole, "streamId"}, {StartRole, "start"},   {EndRole, "end"},
            {TitleRole, "title"},   {NoteRole, "note"},         {AuthorRole, "author"}, {CreatedRole, "created"}};
}

QVariantMap BookmarkStore::get(int row) const
{
    QVariantMap map;
    if (row < 0 || row >= m_bookmarks.size())
        return map;
    const QHash<int, QByteArray> names = roleNames();
    for (auto it = names.begin(); it != names.end(); ++it)
        map.insert(QString::fromLatin1(it.value()), data(index(row), it.key()));
    return map;
}

QVariantList BookmarkStore::search(const QString& text) const
{
    QVariantList found;
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return found;
    for (int row = 0; row < m_bookmarks.size(); ++row) {
        const Bookmark& bookmark = m_bookmarks.at(row);
        if (bookmark.title.contains(wanted, Qt::CaseInsensitive) || bookmark.note.contains(wanted, Qt::CaseInsensitive))
            found << get(row);
    }
    return found;
}

void BookmarkStore::fetch(const QStringList& streamIds)
{
    // Streams no longer shown leave the list at once.
    QVector<Bookmark> kept;
    for (const Bookmark& bookmark : qAsConst(m_bookmarks))
        if (streamIds.contains(bookmark.streamId))
            kept << bookmark;
    if (kept.size() != m_bookmarks.size()) {
        beginResetModel();
        m_bookmarks = kept;
        endResetModel();
        emit countChanged();
        touch();
    }
    m_streams = streamIds;
    if (!m_client) {
        qCWarning(lcBookmarks) << "Bookmarks cannot be read: no server client";
        return;
    }
    for (const QString& streamId : streamIds) {
        const int generation = ++m_fetchGeneration[streamId];
        startRequest();
        QPointer<BookmarkStore> self(this);
        m_client->readAttributes(streamId, [self, streamId, generation](const QVariantMap& attributes,
                                                                        const QString& error) {
            if (!self)
                return;
            self->endRequest();
            if (self->m_fetchGeneration.value(streamId) != generation || !self->m_streams.contains(streamId))
                return;
            if (!error.isEmpty()) {
                qCWarning(lcBookmarks).noquote() << "Bookmarks of stream" << streamId << "could not be read:" << error;
                emit self->fetchFailed(streamId, error);
                return;
            }
            QVector<Bookmark> read;
            for (auto it = attributes.begin(); it != attributes.end(); ++it) {
                if (!Bookmark::isBookmarkName(it.key()))
                    continue; // another use of the stream's attributes
                QString why;
                const std::optional<Bookmark> bookmark =
                    Bookmark::fromAttribute(streamId, it.key(), it.value().toString().toUtf8(), &why);
                if (bookmark)
                    read << *bookmark;
                else
                    qCWarning(lcBookmarks).noquote() << "Skipped the attribute" << it.key() << "of stream" << streamId
                                                     << ": not a valid bookmark," << why;
            }
            self->replaceStream(streamId, read);
            emit self->fetched(streamId);
        });
    }
}

bool BookmarkStore::add(const QString& streamId, qlonglong startMs, qlonglong endMs, const QString& title,
                        const QString& note)
{
    if (!checkTexts(title, note).isEmpty() || streamId.isEmpty() || startMs < 0)
        return false;
    Bookmark bookmark;
    bookmark.id = Bookmark::newId();
    bookmark.streamId = streamId;
    bookmark.startMs = startMs;
    bookmark.endMs = std::max(startMs, endMs);
    bookmark.title = title.trimmed();
    bookmark.note = note;
    bookmark.author = m_author;
    bookmark.createdMs = QDateTime::currentMSecsSinceEpoch();
    if (!m_client) {
        emit writeFailed(bookmark.id, QStringLiteral("Not connected to the server"));
        return true;
    }
    startRequest();
    QPointer<BookmarkStore> self(this);
    m_client->createAttribute(
        streamId, bookmark.id, QString::fromUtf8(bookmark.toJson()), [self, bookmark](const QString& error) {
            if (!self)
                return;
            self->endRequest();
            if (!error.isEmpty()) {
                qCWarning(lcBookmarks).noquote() << "The server refused the bookmark" << bookmark.title << ":" << error;
                emit self->writeFailed(bookmark.id, error);
                return;
            }
            qCInfo(lcBookmarks).noquote() << "Bookmark saved:" << bookmark.id << bookmark.title;
            if (self->rowOf(bookmark.id) < 0 && self->m_streams.contains(bookmark.streamId))
                self->insertSorted(bookmark);
            emit self->saved(bookmark.id);
        });
    return true;
}

bool BookmarkStore::edit(const QString& id, const QString& title, const QString& note)
{
    const int row = rowOf(id);
    if (row < 0 || !checkTexts(title, note).isEmpty())
        return false;
    Bookmark changed = m_bookmarks.at(row);
    changed.title = title.trimmed();
    changed.note = note;
    if (!m_client) {
        emit writeFailed(id, QStringLiteral("Not connected to the server"));
        return true;
    }
    startRequest();
    QPointer<BookmarkStore> self(this);
    m_client->updateAttribute(changed.streamId, id, QString::fromUtf8(changed.toJson()),
                              [self, changed](const QString& error) {
                                  if (!self)
                                      return;
                                  self->endRequest();
                                  if (!error.isEmpty()) {
                                      qCWarning(lcBookmarks).noquote()
                                          << "The server refused the change of bookmark" << changed.id << ":" << error;
                                      emit self->writeFailed(changed.id, error);
                                      return;
                                  }
                                  const int at = self->rowOf(changed.id);
                                  if (at >= 0) {
                                      self->m_bookmarks[at] = changed;
                                      const QModelIndex changedIndex = self->index(at);
                                      emit self->dataChanged(changedIndex, changedIndex, {TitleRole, NoteRole});
                                      self->touch();
                                  }
                                  emit self->saved(changed.id);
                              });
    return true;
}

void BookmarkStore::remove(const QString& id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    const QString streamId = m_bookmarks.at(row).streamId;
    if (!m_client) {
        emit writeFailed(id, QStringLiteral("Not connected to the server"));
        return;
    }
    startRequest();
    QPointer<BookmarkStore> self(this);
    m_client->deleteAttribute(streamId, id, [self, id](const QString& error) {
        if (!self)
            return;
        self->endRequest();
        if (!error.isEmpty()) {
            qCWarning(lcBookmarks).noquote() << "The server refused to delete bookmark" << id << ":" << error;
            emit self->writeFailed(id, error);
            return;
        }
        const int at = self->rowOf(id);
        if (at >= 0) {
            self->beginRemoveRows(QModelIndex(), at, at);
            self->m_bookmarks.removeAt(at);
            self->endRemoveRows();
            emit self->countChanged();
            self->touch();
        }
        emit self->removed(id);
    });
}

QString BookmarkStore::checkTexts(const QString& title, const QString& note)
{
    return Bookmark::checkTexts(title, note);
}

int BookmarkStore::rowOf(const QString& id) const
{
    for (int row = 0; row < m_bookmarks.size(); ++row)
        if (m_bookmarks.at(row).id == id)
            return row;
    return -1;
}

void BookmarkStore::insertSorted(const Bookmark& bookmark)
{
    const auto at = std::upper_bound(m_bookmarks.begin(), m_bookmarks.end(), bookmark, startsBefore);
    const int row = int(at - m_bookmarks.begin());
    beginInsertRows(QModelIndex(), row, row);
    m_bookmarks.insert(row, bookmark);
    endInsertRows();
    emit countChanged();
    touch();
}

void BookmarkStore::replaceStream(const QString& streamId, QVector<Bookmark> bookmarks)
{
    QVector<Bookmark> merged;
    for (const Bookmark& bookmark : qAsConst(m_bookmarks))
        if (bookmark.streamId != streamId)
            merged << bookmark;
    merged += bookmarks;
    std::sort(merged.begin(), merged.end(), startsBefore);
    beginResetModel();
    m_bookmarks = merged;
    endResetModel();
    emit countChanged();
    touch();
}

void BookmarkStore::touch()
{
    ++m_revision;
    emit revisionChanged();
}

void BookmarkStore::startRequest()
{
    if (m_pending++ == 0)
        emit busyChanged();
}

void BookmarkStore::endRequest()
{
    if (--m_pending == 0)
        emit busyChanged();
}
