// SPDX-License-Identifier: MIT
#include "mpvnode.h"

#include <QJSValue>
#include <QVariantList>
#include <QVariantMap>

MpvNode::MpvNode()
{
    m_root.format = MPV_FORMAT_NONE;
    m_root.u.int64 = 0;
}

MpvNode::~MpvNode() = default;

MpvNode MpvNode::variantToNode(const QVariant& value)
{
    MpvNode node;
    node.fill(node.m_root, value);
    return node;
}

const char* MpvNode::keep(const QString& text)
{
    m_strings.push_back(text.toUtf8());
    return m_strings.back().constData();
}

void MpvNode::fill(mpv_node& dst, const QVariant& value)
{
    dst.format = MPV_FORMAT_NONE;
    dst.u.int64 = 0;
    // Script values from QML carry their arrays and objects inside a QJSValue.
    if (value.userType() == qMetaTypeId<QJSValue>()) {
        fill(dst, value.value<QJSValue>().toVariant());
        return;
    }
    switch (static_cast<int>(value.type())) {
    case QMetaType::QString:
        dst.format = MPV_FORMAT_STRING;
        dst.u.string = const_cast<char*>(keep(value.toString()));
        return;
    case QMetaType::Bool:
        dst.format = MPV_FORMAT_FLAG;
        dst.u.flag = value.toBool() ? 1 : 0;
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        dst.format = MPV_FORMAT_INT64;
        dst.u.int64 = value.toLongLong();
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        dst.format = MPV_FORMAT_DOUBLE;
        dst.u.double_ = value.toDouble();
        return;
    default:
        break;
    }
    if (value.canConvert<QVariantList>()) {
        const QVariantList items = value.toList();
        m_values.emplace_back(static_cast<std::size_t>(items.size()));
        std::vector<mpv_node>& values = m_values.back();
        for (int i = 0; i < items.size(); ++i)
            fill(values[static_cast<std::size_t>(i)], items[i]);
        m_lists.push_back(mpv_node_list{static_cast<int>(values.size()), values.data(), nullptr});
        dst.format = MPV_FORMAT_NODE_ARRAY;
        dst.u.list = &m_lists.back();
        return;
    }
    if (value.canConvert<QVariantMap>()) {
        const QVariantMap items = value.toMap();
        m_values.emplace_back(static_cast<std::size_t>(items.size()));
        m_keys.emplace_back(static_cast<std::size_t>(items.size()));
        std::vector<mpv_node>& values = m_values.back();
        std::vector<char*>& keys = m_keys.back();
        std::size_t i = 0;
        for (auto it = items.cbegin(); it != items.cend(); ++it, ++i) {
            keys[i] = const_cast<char*>(keep(it.key()));
            fill(values[i], it.value());
        }
        m_lists.push_back(mpv_node_list{static_cast<int>(values.size()), values.data(), keys.data()});
        dst.format = MPV_FORMAT_NODE_MAP;
        dst.u.list = &m_lists.back();
        return;
    }
}

QVariant MpvNode::nodeToVariant(const mpv_node* node)
{
    if (!node)
        return QVariant();
    switch (node->format) {
    case MPV_FORMAT_STRING:
        return QString::fromUtf8(node->u.string);
    case MPV_FORMAT_FLAG:
        return node->u.flag != 0;
    case MPV_FORMAT_INT64:
        return static_cast<qlonglong>(node->u.int64);
    case MPV_FORMAT_DOUBLE:
        return node->u.double_;
    case MPV_FORMAT_NODE_ARRAY: {
        QVariantList list;
        const mpv_node_list* items = node->u.list;
        for (int i = 0; items && i < items->num; ++i)
            list.append(nodeToVariant(&items->values[i]));
        return list;
    }
    case MPV_FORMAT_NODE_MAP: {
        QVariantMap map;
        const mpv_node_list* items = node->u.list;
        for (int i = 0; items && i < items->num; ++i)
            map.insert(QString::fromUtf8(items->keys[i]), nodeToVariant(&items->values[i]));
        return map;
    }
    default:
        return QVariant();
    }
}
