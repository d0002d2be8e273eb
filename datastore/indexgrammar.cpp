// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/indexgrammar.h"

#include "platform/textcodec.h"

#include <QStringList>

namespace cardomine::indexfile {

namespace {

bool allDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

} // namespace

std::optional<Fault> splitCrlfLines(const QByteArray &bytes, QList<QByteArray> &lines)
{
    lines.clear();
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        const QByteArrayView line =
            QByteArrayView(bytes).sliced(start, (end < 0 ? bytes.size() : end) - start);
        const qsizetype number = lines.size() + 1;
        if (line.contains('\r') || line.contains('\n'))
            return QStringLiteral("line %1 ends in a lone CR or LF, not CR LF").arg(number);
        if (end < 0)
            return QStringLiteral("its last line (line %1) does not end in CR LF").arg(number);
        lines.append(line.toByteArray());
        start = end + 2;
    }
    return std::nullopt;
}

std::optional<Fault> grammarFault(const QByteArray &bytes)
{
    QList<QByteArray> raw;
    if (std::optional<Fault> fault = splitCrlfLines(bytes, raw))
        return fault;
    if (raw.isEmpty())
        return QStringLiteral("it is empty");
    QStringList lines;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QString line = platform::text::decode(raw.at(i));
        if (line.contains(u',') || line.contains(u'"'))
            return QStringLiteral("line %1 \"%2\" holds a comma or a quotation mark, which "
                                  "would split it in two")
                .arg(i + 1)
                .arg(line);
        lines.append(line);
    }
    const auto notA = [&lines](qsizetype number, const QString &needs) {
        return QStringLiteral("line %1 \"%2\" is not %3")
            .arg(number)
            .arg(lines.at(number - 1), needs);
    };

    const QString typesKey = QStringLiteral("Num_Of_Types=");
    const QString &first = lines.first();
    if (first.size() != typesKey.size() + 1 || !first.startsWith(typesKey) ||
        !allDigits(QStringView(first).last(1)))
        return notA(1, QStringLiteral("\"Num_Of_Types=\" followed by one digit"));
    const int k = first.back().unicode() - u'0';
    if (lines.size() < k + 3)
        return QStringLiteral("it has %1 lines; with %2 types it needs %3 (the types, the record "
                              "count and the file type)")
            .arg(lines.size())
            .arg(k)
            .arg(k + 3);
    if (lines.size() > k + 3)
        return QStringLiteral("line %1 follows the file-type line; the file ends there").arg(k + 4);

    const QString typeKey = QStringLiteral("Data_Type=");
    for (int i = 2; i <= k + 1; ++i) {
        const QString &line = lines.at(i - 1);
        if (!line.startsWith(typeKey) || line.size() == typeKey.size())
            return notA(i, QStringLiteral("\"Data_Type=\" followed by a type name"));
        if (line.endsWith(u'S') || line.endsWith(u'R'))
            return QStringLiteral("line %1: the type name \"%2\" ends in an upper-case %3, which "
                                  "the program would take for the file type")
                .arg(i)
                .arg(line.mid(typeKey.size()), line.right(1));
    }
    const QString countKey = QStringLiteral("Num_Of_Records=");
    const QString &count = lines.at(k + 1);
    if (!count.startsWith(countKey) || count.size() > countKey.size() + 6 ||
        !allDigits(QStringView(count).sliced(countKey.size())))
        return notA(k + 2, QStringLiteral("\"Num_Of_Records=\" followed by the record count"));
    if (lines.at(k + 2) != u"File_Type=R" && lines.at(k + 2) != u"File_Type=S")
        return notA(k + 3, QStringLiteral("\"File_Type=R\" or \"File_Type=S\""));
    return std::nullopt;
}

} // namespace cardomine::indexfile
