// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "repository.h"

class CameraList;

// The local store in "data.sqlite" in the working directory, on the default connection.
// Every statement binds its values by name; nothing is pasted into SQL text.
class SQLiteRepository : public Repository
{
    Q_OBJECT

public:
    explicit SQLiteRepository(QObject* parent = nullptr);
    ~SQLiteRepository() override;

    bool isOpen() const { return m_open; }

    QList<User*> allUsers() override;
    User* userByUsername(QString username) override;
    // Re-reads the table into the one list and returns it; null when closed or on failure.
    QAbstractListModel* cameraList() override;
    bool insertCamera(QString name, QString url) override;
    void removeCamera(int id) override;

private:
    void createTables();

    bool m_open = false;
    std::shared_ptr<CameraList> m_cameraList;
};
