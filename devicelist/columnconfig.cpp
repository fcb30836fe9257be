#include "devicelist/columnconfig.h"

#include "aptui/targetpath.h"
#include "devicelist/devicelistlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextCodec>

namespace VoskTool {

namespace {

const QLatin1String kConfigFileName("ColumnConfig.xml");
const QLatin1String kIndexValue("IndexValue");
const char kFileCodec[] = "GB2312";

// Element names of the columns in files this program writes. Only the order
// of the children matters when reading.
const char *const kColumnElementNames[DeviceColumnCount] = {
    "ColumnCheck", "ColumnId", "ColumnDeviceType", "ColumnActivation", "ColumnIpv4Address",
    "ColumnPort", "ColumnSoftwareVersion", "ColumnIpv4Gateway", "ColumnHttpPort",
    "ColumnSerialNumber", "ColumnIpv4Mask", "ColumnMac", "ColumnChannelCount",
    "ColumnDspVersion", "ColumnStartTime", "ColumnIpv6Address", "ColumnIpv6Gateway",
    "ColumnIpv6PrefixLength", "ColumnSupportIpv6", "ColumnSupportModifyIpv6",
    "ColumnSupportDhcp", "ColumnIpv4Dhcp", "ColumnProtocol",
};

// Files written before the protocol column existed end at ColumnIpv4Dhcp.
// Users keep such files (their own column order): they load as they are,
// the protocol column taking the first free place.
constexpr int kOlderFileColumns = ColumnProtocol;

// QSaveFile writes beside the target under "<name>.XXXXXX" (six letters or
// digits) and renames that over the target. A kill between the two leaves
// the temporary behind: remove such leftovers of the target's own saves,
// nothing else in the folder.
void removeStaleSaveTemporaries(const QString &target)
{
    const QFileInfo info(target);
    QDir dir = info.absoluteDir();
    static const QRegularExpression suffix(QStringLiteral("^[A-Za-z0-9]{6}$"));
    const QString prefix = info.fileName() + QLatin1Char('.');
    const QStringList names = dir.entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || !suffix.match(name.mid(prefix.size())).hasMatch())
            continue;
        if (dir.remove(name))
            qCInfo(lcDeviceList) << "[ColumnConfig] removed an interrupted save" << dir.filePath(name);
    }
}

} // namespace

ColumnConfig::ColumnConfig(const QString &path)
    : m_path(path)
{
    removeStaleSaveTemporaries(m_path);
}

QDomElement ColumnConfig::indexValueElement(const QDomElement &child) const
{
    return child.elementsByTagName(kIndexValue).item(0).toElement();
}

bool ColumnConfig::load()
{
    QVector<int> raw(DeviceColumnCount, -1);
    bool parsed = false;
    bool whole = false;
    QDomDocument document;
    QFile file(m_path);
    if (!m_path.isEmpty() && file.open(QIODevice::ReadOnly)) {
        // The file is GB2312 (an ASCII superset); decoding it ourselves keeps
        // the result independent of the XML parser's codec support.
        const QTextCodec *codec = QTextCodec::codecForName(kFileCodec);
        const QByteArray bytes = file.readAll();
        const QString text = codec ? codec->toUnicode(bytes) : QString::fromLatin1(bytes);
        QString error;
        int line = 0;
        parsed = document.setContent(text, &error, &line);
        if (!parsed)
            qCWarning(lcDeviceList) << "[ColumnConfig] ColumnConfig.xml is not valid XML, line" << line << error;
    } else {
        qCInfo(lcDeviceList) << "[ColumnConfig] cannot open" << m_path << "- default column order";
    }

    int children = 0;
    bool olderFile = false;
    if (parsed) {
        for (QDomElement child = document.documentElement().firstChildElement(); !child.isNull();
             child = child.nextSiblingElement(), ++children) {
            if (children >= DeviceColumnCount)
                continue;
            bool ok = false;
            const int value = indexValueElement(child).text().trimmed().toInt(&ok);
            if (ok)
                raw[children] = value;
        }
        olderFile = children == kOlderFileColumns;
        whole = children == DeviceColumnCount || olderFile;
    }

    // Every logical column needs its own model column, and the check and ID
    // columns keep positions 0 and 1. Valid entries are taken first come,
    // first served; the others get their logical id, or the first free
    // column when that is taken.
    QVector<int> map(DeviceColumnCount, -1);
    QVector<bool> used(DeviceColumnCount, false);
    map[ColumnCheck] = 0;
    map[ColumnId] = 1;
    used[0] = used[1] = true;
    whole = whole && raw[ColumnCheck] == 0 && raw[ColumnId] == 1;
    for (int id = 2; id < DeviceColumnCount; ++id) {
        const int value = raw.at(id);
        if (value >= 2 && value < DeviceColumnCount && !used.at(value)) {
            map[id] = value;
            used[value] = true;
        } else if (!(olderFile && id >= kOlderFileColumns)) {
            whole = false;
        }
    }
    for (int id = 2; id < DeviceColumnCount; ++id) {
        if (map.at(id) >= 0)
            continue;
        int column = id;
        if (used.at(column))
            column = static_cast<int>(used.indexOf(false));
        map[id] = column;
        used[column] = true;
    }
    m_map = map;

    if (whole) {
        m_document = document;
        m_root = m_document.documentElement();
        if (olderFile) {
            // The columns added since join the user's document, so that a
            // drag renumbers them with the others and the next save writes
            // a file of today's length.
            for (int id = kOlderFileColumns; id < DeviceColumnCount; ++id)
                m_root.appendChild(columnElement(id, map.at(id)));
            qCInfo(lcDeviceList) << "[ColumnConfig] ColumnConfig.xml predates the protocol column; it shows at"
                                 << map.at(ColumnProtocol);
        }
        // The declaration is written by saveDocument(): what we write is
        // GB2312 whatever the file declared, and Qt's serialiser only knows
        // the Unicode encodings.
        QDomNode first = m_document.firstChild();
        if (first.isProcessingInstruction() && first.nodeName() == QLatin1String("xml"))
            m_document.removeChild(first);
    } else {
        if (parsed)
            qCWarning(lcDeviceList) << "[ColumnConfig] ColumnConfig.xml has unusable entries; repaired order"
                                    << map;
        rebuildDocument(map);
    }
    return parsed;
}

void ColumnConfig::rebuildDocument(const QVector<int> &map)
{
    // A complete document from a column map, so that the next save writes a
    // whole, consistent file.
    m_document = QDomDocument();
    m_root = m_document.createElement(QStringLiteral("ColumnConfig"));
    m_document.appendChild(m_root);
    for (int id = 0; id < DeviceColumnCount; ++id)
        m_root.appendChild(columnElement(id, map.at(id)));
}

QDomElement ColumnConfig::columnElement(int id, int column)
{
    QDomElement child = m_document.createElement(QLatin1String(kColumnElementNames[id]));
    QDomElement value = m_document.createElement(kIndexValue);
    value.appendChild(m_document.createTextNode(QString::number(column)));
    child.appendChild(value);
    return child;
}

bool ColumnConfig::moveColumn(int from, int to)
{
    // Positions 0 and 1 belong to the check and ID columns for good.
    if (from < 2 || to < 2 || from >= DeviceColumnCount || to >= DeviceColumnCount)
        return false;
    if (from == to)
        return true;
    for (QDomElement child = m_root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        QDomElement valueElement = indexValueElement(child);
        bool ok = false;
        const int g = valueElement.text().trimmed().toInt(&ok);
        if (!ok)
            continue;
        int next = g;
        if (from < to) {
            if (from < g && g <= to)
                next = g - 1;
            else if (g == from)
                next = to;
        } else {
            if (to <= g && g < from)
                next = g + 1;
            else if (g == from)
                next = to;
        }
        if (next == g)
            continue;
        while (valueElement.hasChildNodes())
            valueElement.removeChild(valueElement.firstChild());
        valueElement.appendChild(m_document.createTextNode(QString::number(next)));
    }
    return saveDocument();
}

bool ColumnConfig::saveDocument()
{
    const QTextCodec *codec = QTextCodec::codecForName(kFileCodec);
    if (!codec) {
        qCWarning(lcDeviceList) << "[ColumnConfig] no GB2312 codec; ColumnConfig.xml not saved";
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    removeStaleSaveTemporaries(m_path);
    // Written to a temporary file and renamed into place: an interrupted save
    // leaves the old file or the new one, never a torn one.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcDeviceList) << "[ColumnConfig] cannot write" << m_path << file.errorString();
        return false;
    }
    const QByteArray bytes = codec->fromUnicode(QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n")
                                                 + m_document.toString(0));
    if (file.write(bytes) != bytes.size()) {
        qCWarning(lcDeviceList) << "[ColumnConfig] cannot write" << m_path << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (m_beforeCommit && !m_beforeCommit()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qCWarning(lcDeviceList) << "[ColumnConfig] cannot save" << m_path << file.errorString();
        return false;
    }
    return true;
}

QString ColumnConfig::defaultPath()
{
    return TarnGUIToolkit::GetUserFilePath(kConfigFileName);
}

QString ColumnConfig::resolvePath(const QString &programDir, bool programDirWritable, const QString &userDir)
{
    return TarnGUIToolkit::ResolveUserFilePath(programDir, programDirWritable, userDir, kConfigFileName);
}

} // namespace VoskTool
