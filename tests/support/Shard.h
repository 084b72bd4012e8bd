// A long test split over processes that run side by side: with
// KORVEL_TEST_SHARD="k/n" a process runs the k-th of every n cases (k from 1),
// in the order Qt Test runs them; without it, every case.
#pragma once

#include <QByteArray>
#include <QTest>

inline bool inThisShard()
{
    static const std::pair<int, int> shard = [] {
        const QList<QByteArray> parts = qgetenv("KORVEL_TEST_SHARD").split('/');
        const int k = parts.size() == 2 ? parts[0].toInt() : 0, n = parts.size() == 2 ? parts[1].toInt() : 0;
        return k >= 1 && k <= n ? std::pair{k - 1, n} : std::pair{0, 1};
    }();
    static int cases = 0;
    return cases++ % shard.second == shard.first;
}

#define KORVEL_SHARD_CASE()                                                                                        \
    do {                                                                                                           \
        if (!inThisShard())                                                                                        \
            QSKIP("another shard runs this case");                                                                 \
    } while (false)
