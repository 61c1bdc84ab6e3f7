#pragma once

#include <QByteArray>

// The search and replacement texts as the window holds them at the moment of asking.
class TextSource {
public:
    virtual ~TextSource() = default;

    // The search text, UTF-8.
    virtual QByteArray FindText() const = 0;
    // The replacement text, UTF-8.
    virtual QByteArray ReplaceText() const = 0;
};
