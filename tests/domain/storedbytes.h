#pragma once

// Builds stored byte sequences by hand, independently of the encoders under test.

#include <QBrush>
#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QPen>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace StoredBytes {

// A value as the stream operators under test write it, at the stored format's stream version.
template <typename T> QByteArray encoded(const T &value)
{
    QByteArray b;
    QDataStream s(&b, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_5_12);
    s << value;
    return b;
}

inline QByteArray u32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

inline QByteArray u8(quint8 v) { return QByteArray(1, char(v)); }

inline QByteArray f64(double v)
{
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    QByteArray b(8, '\0');
    qToBigEndian(bits, b.data());
    return b;
}

inline QByteArray variantHeader(quint32 type) { return u32(type) + u8(0); }

inline QByteArray userVariantHeader(const QByteArray &name)
{
    return variantHeader(1024) + u32(quint32(name.size() + 1)) + name + QByteArray(1, '\0');
}

inline QByteArray intVariant(qint32 v) { return variantHeader(2) + u32(quint32(v)); }

inline QByteArray doubleVariant(double v) { return variantHeader(6) + f64(v); }

inline QByteArray pointVariant(double x, double y) { return variantHeader(26) + f64(x) + f64(y); }

inline QByteArray rectBytes(double x, double y, double w, double h)
{
    return f64(x) + f64(y) + f64(w) + f64(h);
}

// Pens and brushes are Qt's own formats; the records only wrap them.
template <typename T> QByteArray qtBytes(const T &value)
{
    QByteArray b;
    QDataStream s(&b, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_5_12);
    s << value;
    return b;
}

inline QByteArray penVariant(const QPen &pen) { return variantHeader(76) + qtBytes(pen); }

inline QByteArray brushVariant(const QBrush &brush) { return variantHeader(66) + qtBytes(brush); }

inline QByteArray pair(qint32 key, const QByteArray &value) { return u32(quint32(key)) + value; }

// Every byte sequence a hash record of these pairs may be written as: its count, then the pairs in
// any order. Each entry of `pairs` lists the acceptable forms of one pair.
inline QList<QByteArray> recordForms(const QList<QList<QByteArray>> &pairs)
{
    QVector<int> order(pairs.size());
    std::iota(order.begin(), order.end(), 0);
    QList<QByteArray> forms;
    do {
        QList<QByteArray> partial { u32(quint32(pairs.size())) };
        for (const int index : order) {
            QList<QByteArray> next;
            for (const QByteArray &prefix : partial) {
                for (const QByteArray &form : pairs.at(index)) {
                    next.append(prefix + form);
                }
            }
            partial = next;
        }
        forms += partial;
    } while (std::next_permutation(order.begin(), order.end()));
    return forms;
}

inline QList<QByteArray> recordForms(const QList<QByteArray> &pairs)
{
    QList<QList<QByteArray>> single;
    for (const QByteArray &p : pairs) {
        single.append({ p });
    }
    return recordForms(single);
}

// One fixed order, for building input by hand.
inline QByteArray record(const QList<QByteArray> &pairs)
{
    QByteArray b = u32(quint32(pairs.size()));
    for (const QByteArray &p : pairs) {
        b += p;
    }
    return b;
}

} // namespace StoredBytes
