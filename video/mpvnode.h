// SPDX-License-Identifier: MIT
#pragma once

#include <list>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QVariant>

#include <mpv/client.h>

// An mpv_node built from a QVariant, together with every string, list and key it points to, so
// that one object frees the whole tree when the call that used it is done.
class MpvNode
{
public:
    // QString to STRING, bool to FLAG, integers to INT64, double to DOUBLE, lists to NODE_ARRAY,
    // maps to NODE_MAP, in that order of tests; anything else, an invalid value included, to NONE.
    static MpvNode variantToNode(const QVariant& value);
    // The reverse; formats without a Qt counterpart give an invalid QVariant.
    static QVariant nodeToVariant(const mpv_node* node);

    MpvNode(MpvNode&&) = default;
    MpvNode& operator=(MpvNode&&) = default;
    MpvNode(const MpvNode&) = delete;
    MpvNode& operator=(const MpvNode&) = delete;
    ~MpvNode();

    mpv_node* get() { return &m_root; }

private:
    MpvNode();
    void fill(mpv_node& dst, const QVariant& value);
    const char* keep(const QString& text);

    mpv_node m_root;
    // std::list keeps the addresses of earlier entries stable while the tree grows.
    std::list<QByteArray> m_strings;
    std::list<mpv_node_list> m_lists;
    std::list<std::vector<mpv_node>> m_values;
    std::list<std::vector<char*>> m_keys;
};
