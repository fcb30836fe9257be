#include "aptui/cchasedialog.h"

#include "aptui/aptuilog.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace TarnGUIToolkit {

CChaseDialog::CChaseDialog(QWidget *parent, const QString &animationPath, const QString &text, bool userCanClose)
    : QDialog(parent)
    , m_userCanClose(userCanClose)
{
    setObjectName(QStringLiteral("CChaseDialog"));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setModal(true);

    m_animationLabel = new QLabel(this);
    m_animationLabel->setObjectName(QStringLiteral("m_labelChaseAnimation"));
    m_animationLabel->setAlignment(Qt::AlignCenter);
    m_textLabel = new QLabel(text, this);
    m_textLabel->setObjectName(QStringLiteral("m_labelChaseText"));
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_textLabel->setTextFormat(Qt::PlainText);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(8);
    layout->addWidget(m_animationLabel);
    layout->addWidget(m_textLabel);

    if (!animationPath.isEmpty()) {
        m_movie = new QMovie(animationPath, QByteArray(), this);
        if (!m_movie->isValid())
            qCWarning(lcAptui) << "[CChaseDialog] cannot read animation" << animationPath;
        m_animationLabel->setMovie(m_movie);
    }
    setMinimumSize(160, 110);
}

CChaseDialog::~CChaseDialog() = default;

QString CChaseDialog::text() const
{
    return m_textLabel->text();
}

void CChaseDialog::setText(const QString &text)
{
    m_textLabel->setText(text);
}

void CChaseDialog::setCancelText(const QString &text)
{
    if (!m_cancelButton) {
        m_cancelButton = new QPushButton(this);
        m_cancelButton->setObjectName(QStringLiteral("m_btnChaseCancel"));
        layout()->addWidget(m_cancelButton);
        connect(m_cancelButton, &QPushButton::clicked, this, &CChaseDialog::requestCancel);
    }
    m_cancelButton->setText(text);
}

void CChaseDialog::requestCancel()
{
    if (!m_cancelButton || !m_cancelButton->isEnabled())
        return;
    m_cancelButton->setEnabled(false);
    Q_EMIT signalCancelRequested();
}

QMovie *CChaseDialog::movie() const
{
    return m_movie;
}

int CChaseDialog::exec()
{
    if (m_stopRequested) {
        // The work ended before the wait began: nothing to show.
        m_stopRequested = false;
        setResult(Accepted);
        return Accepted;
    }
    const int result = QDialog::exec();
    m_stopRequested = false;
    return result;
}

void CChaseDialog::OnImmediatelyStopChase()
{
    if (QThread::currentThread() != thread()) {
        // A direct call from the worker: widgets belong to the GUI thread.
        QMetaObject::invokeMethod(this, &CChaseDialog::OnImmediatelyStopChase, Qt::QueuedConnection);
        return;
    }
    m_stopRequested = true;
    if (isVisible())
        done(Accepted);
}

void CChaseDialog::reject()
{
    if (m_userCanClose || m_stopRequested)
        QDialog::reject();
    else if (m_cancelButton)
        requestCancel();
}

void CChaseDialog::showEvent(QShowEvent *event)
{
    if (m_movie)
        m_movie->start();
    QDialog::showEvent(event);
}

void CChaseDialog::hideEvent(QHideEvent *event)
{
    if (m_movie)
        m_movie->stop();
    QDialog::hideEvent(event);
}

} // namespace TarnGUIToolkit
