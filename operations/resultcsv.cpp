#include "operations/resultcsv.h"

#include <QIODevice>
#include <QStringList>

namespace VoskTool {

namespace {

QString cell(QString text)
{
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.at(0)))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))
        || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

} // namespace

bool writeResultCsv(QIODevice &out, const QVector<ResultLine> &lines)
{
    QByteArray data = "device,address,outcome\r\n";
    for (const ResultLine &line : lines) {
        data += QStringList{cell(line.device), cell(line.address), cell(line.outcome)}.join(QLatin1Char(',')).toUtf8();
        data += "\r\n";
    }
    return out.write(data) == data.size();
}

} // namespace VoskTool
