#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <vector>

// Finds the occurrences of one search text in one form of a content: the interface the
// replacer's search in each encoding keeps to.
class Matcher {
public:
    virtual ~Matcher() = default;
    // The first occurrence that starts at or after from, as the bytes from begin to end;
    // false when there is none. from lies inside content. nextAt is the matcher's memory of
    // one content between calls, empty at the first call and given back unchanged after.
    virtual bool FindAt(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                        std::vector<qsizetype>& nextAt) const = 0;
};
