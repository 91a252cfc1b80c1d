// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar {

// The text of the operation log: lines ending in CR LF, up to a fixed capacity. When a line
// does not fit, the log first drops the older half of what it held (whole lines), so a long
// batch never makes the log (or the program) crawl.
class OperationLog
{
public:
    static constexpr qsizetype DefaultCapacity = 1'000'000;

    explicit OperationLog(qsizetype capacity = DefaultCapacity) : m_capacity(capacity) {}

    enum class Append { Added, Trimmed };
    // Adds line and CR LF; when that would pass the capacity, trims the older half first.
    Append write(const QString& line);
    void clear() { m_text.clear(); }

    const QString& text() const { return m_text; }
    qsizetype capacity() const { return m_capacity; }

private:
    QString m_text;
    qsizetype m_capacity;
};

} // namespace kelmar
