#include "filepattern.h"

#include <QCoreApplication>

namespace {

// Whether every "[" of pattern opens a set that a later "]" closes.
bool SetsBalanced(const QString& pattern) {
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('[')) {
            continue;
        }
        // A "]" right after "[" (or "[!") is a member of the set, not its end.
        qsizetype j = i + 1;
        if (j < pattern.size() && pattern[j] == QLatin1Char('!')) {
            ++j;
        }
        if (j < pattern.size() && pattern[j] == QLatin1Char(']')) {
            ++j;
        }
        const qsizetype close = pattern.indexOf(QLatin1Char(']'), j);
        if (close < 0) {
            return false;
        }
        i = close;
    }
    return true;
}

}  // namespace

std::optional<FilePattern> FilePattern::Parse(const QString& text, QString& error) {
    FilePattern filter;
    QStringList alternatives;
    const QStringList parts = text.split(QLatin1Char(';'));
    for (const QString& part : parts) {
        const QString pattern = part.trimmed();
        if (pattern.isEmpty()) {
            continue;
        }
        if (pattern.contains(QLatin1Char('/'))) {
            error = QCoreApplication::translate("FilePattern", "A file name cannot contain \"/\".");
            return std::nullopt;
        }
        if (!SetsBalanced(pattern)) {
            error = QCoreApplication::translate("FilePattern",
                                                "The pattern \"%1\" opens a \"[\" "
                                                "set that it does not close.")
                        .arg(pattern);
            return std::nullopt;
        }
        if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
            filter.matchesAll_ = true;
            continue;
        }
        QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern),
                                      QRegularExpression::CaseInsensitiveOption);
        if (!expression.isValid()) {
            error = QCoreApplication::translate("FilePattern", "The pattern \"%1\" is not valid.")
                        .arg(pattern);
            return std::nullopt;
        }
        alternatives.append(QStringLiteral("(?:%1)").arg(expression.pattern()));
    }
    if (alternatives.isEmpty()) {
        filter.matchesAll_ = true;
    }
    // One expression for all patterns: a name is matched once, not once per pattern.
    filter.any_ = QRegularExpression(alternatives.join(QLatin1Char('|')),
                                     QRegularExpression::CaseInsensitiveOption);
    return filter;
}

bool FilePattern::Matches(const QByteArray& name) const {
    if (matchesAll_) {
        return true;
    }
    return any_.match(QString::fromUtf8(name)).hasMatch();
}
