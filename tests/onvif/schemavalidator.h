#pragma once

// Validates XML documents against the ONVIF corpus's schemas with xmllint,
// by the recipe of the corpus's README: a scratch copy of the schemas with
// the one wildcard libxml2 refuses removed, devicemgmt.xsd taken out of
// the WSDL, every remote schema location resolved through the catalog,
// --nonet so that nothing is fetched.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace TestSupport {

class SchemaValidator final
{
public:
    explicit SchemaValidator(const QString &corpus)
    {
        if (!m_dir.isValid() || QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
            return;
        const QString script = QStringLiteral(
            "set -e; cp -r \"$1/schema/.\" \"$2/\"; chmod -R u+w \"$2\"; cd \"$2\"; "
            "sed -i '/<xs:complexType name=\"VideoSourceConfigurationOptionsExtension2\">/,/<\\/xs:complexType>/"
            "s|<xs:any namespace=\"##targetNamespace\" processContents=\"lax\" minOccurs=\"0\" maxOccurs=\"unbounded\"/>"
            "|<!-- removed for libxml2: UPA -->|' onvif/ver10/schema/onvif.xsd; "
            "sed -n '/<xs:schema /,/<\\/xs:schema>/p' onvif/ver10/device/wsdl/devicemgmt.wsdl "
            "| sed '1s|<xs:schema |<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" |' "
            "> onvif/ver10/device/wsdl/devicemgmt.xsd");
        QProcess sh;
        sh.start(QStringLiteral("sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), corpus, m_dir.path()});
        m_ready = sh.waitForFinished(30000) && sh.exitStatus() == QProcess::NormalExit && sh.exitCode() == 0;
    }

    bool isReady() const { return m_ready; }

    // Validates each document (name -> content) against validate/envelope.xsd
    // (whole SOAP envelopes). Returns the names that failed, with xmllint's
    // messages in *messages.
    QStringList failures(const QList<QPair<QString, QByteArray>> &documents, QString *messages)
    {
        QStringList files;
        for (const auto &[name, content] : documents) {
            const QString path = m_dir.filePath(QStringLiteral("instances/") + name);
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
                return {name};
            files.append(path);
        }
        QProcess xmllint;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XML_CATALOG_FILES"), m_dir.filePath(QStringLiteral("catalog.xml")));
        xmllint.setProcessEnvironment(env);
        xmllint.setWorkingDirectory(m_dir.path());
        xmllint.setProcessChannelMode(QProcess::MergedChannels);
        xmllint.start(QStringLiteral("xmllint"), QStringList{QStringLiteral("--nonet"), QStringLiteral("--noout"),
                                                             QStringLiteral("--schema"),
                                                             QStringLiteral("validate/envelope.xsd")}
                                                     + files);
        if (!xmllint.waitForFinished(60000))
            return {QStringLiteral("xmllint did not finish")};
        const QString out = QString::fromUtf8(xmllint.readAll());
        if (messages)
            *messages = out;
        QStringList failed;
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (!out.contains(files.at(i) + QStringLiteral(" validates")))
                failed.append(documents.at(i).first);
        }
        return failed;
    }

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
};

} // namespace TestSupport
