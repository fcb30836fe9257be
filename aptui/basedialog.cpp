#include "aptui/basedialog.h"

#include "aptui/basetitle.h"
#include "ui_basedialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>

namespace aptui {

namespace {

// Height the dialog's layout gives the item of `widget` (0 when hidden).
int layoutHeightOf(QLayout *layout, QWidget *widget)
{
    const int index = layout->indexOf(widget);
    if (index < 0)
        return 0;
    QLayoutItem *item = layout->itemAt(index);
    return item->isEmpty() ? 0 : item->sizeHint().height();
}

} // namespace

BaseDialog::BaseDialog(QWidget *parent)
    : BaseDialog(true, true, true, true, true, true, true, parent)
{
}

BaseDialog::BaseDialog(bool showAppButton, bool showOptionButton, bool showMinButton, bool showMaxButton,
                       bool showCloseButton, bool showConfirmButton, bool showCancelButton, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<::Ui::BaseDialog>())
{
    m_ui->setupUi(this);
    m_ui->m_labelNULL->setText(tr("null content"));
    m_ui->btnConfirm->setText(tr("Confirm"));
    m_ui->btnCancel->setText(tr("Cancel"));

    m_title = new BaseTitle(showAppButton, showOptionButton, showMinButton, showMaxButton, showCloseButton, this);
    m_ui->titleLayout->addWidget(m_title);

    m_ui->btnConfirm->setVisible(showConfirmButton);
    m_ui->btnConfirm->setEnabled(showConfirmButton);
    m_ui->btnCancel->setVisible(showCancelButton);
    m_ui->btnCancel->setEnabled(showCancelButton);

    connect(m_title, &BaseTitle::signalAppButtonClicked, this, &BaseDialog::signalAppButtonClicked);
    connect(m_title, &BaseTitle::signalOptionButtonClicked, this, &BaseDialog::signalOptionButtonClicked);
    connect(m_title, &BaseTitle::signalMinButtonClicked, this, &BaseDialog::signalMinButtonClicked);
    connect(m_title, &BaseTitle::signalMaxButtonClicked, this, &BaseDialog::signalMaxButtonClicked);
    connect(m_title, &BaseTitle::signalCloseButtonClicked, this, &BaseDialog::signalCloseButtonClicked);
    connect(m_ui->btnConfirm, &QAbstractButton::clicked, this, &BaseDialog::onConfirmBtnClicked);
    connect(m_ui->btnCancel, &QAbstractButton::clicked, this, &BaseDialog::onCancelBtnClicked);
    setEnableDefaultConnections(true, true, true, true, true);

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
}

BaseDialog::~BaseDialog() = default;

BaseTitle *BaseDialog::title() const
{
    return m_title;
}

QPushButton *BaseDialog::confirmButton() const
{
    return m_ui->btnConfirm;
}

QPushButton *BaseDialog::cancelButton() const
{
    return m_ui->btnCancel;
}

void BaseDialog::setEnableDefaultConnections(bool enableMin, bool enableMax, bool enableClose, bool enableConfirm,
                                             bool enableCancel)
{
    // Each connection is made at most once, however often it is enabled:
    // a second connection would minimise or close twice per click.
    const auto update = [](bool enable, QMetaObject::Connection &connection, auto makeConnection) {
        if (enable && !connection) {
            connection = makeConnection();
        } else if (!enable && connection) {
            QObject::disconnect(connection);
            connection = QMetaObject::Connection();
        }
    };
    update(enableMin, m_minConnection,
           [this] { return connect(m_title, &BaseTitle::signalMinButtonClicked, this, &QWidget::showMinimized); });
    update(enableMax, m_maxConnection,
           [this] { return connect(m_title, &BaseTitle::signalMaxButtonClicked, this, &BaseDialog::restoreWindow); });
    update(enableClose, m_closeConnection,
           [this] { return connect(m_title, &BaseTitle::signalCloseButtonClicked, this, &QWidget::close); });
    m_confirmCloses = enableConfirm;
    m_cancelCloses = enableCancel;
}

void BaseDialog::setTitle(const QString &title)
{
    m_title->setTitle(title);
    setWindowTitle(title);
}

void BaseDialog::setDefaultText(const QString &text, int fontSize, bool blod)
{
    if (!m_ui->m_labelNULL)
        return;
    const QString html = blod
        ? QStringLiteral("<html><head/><body><p align=\"center\"><span style=\" font-size:%2pt; "
                         "font-weight:600;\">%1</span></p></body></html>")
        : QStringLiteral("<html><head/><body><p align=\"center\"><span style=\" font-size:%2pt;\">%1</span>"
                         "</p></body></html>");
    // Both placeholders in one pass: a "%2" inside the text stays text.
    m_ui->m_labelNULL->setTextFormat(Qt::RichText);
    m_ui->m_labelNULL->setText(html.arg(text, QString::number(fontSize)));
}

void BaseDialog::setDefaultText(const QString &text, int fontSize)
{
    setDefaultText(text, fontSize, false);
}

void BaseDialog::setDefaultText(const QString &text)
{
    if (!m_ui->m_labelNULL)
        return;
    m_ui->m_labelNULL->setTextFormat(Qt::PlainText);
    m_ui->m_labelNULL->setText(text);
}

void BaseDialog::setConfirmButtonText(const QString &text)
{
    m_ui->btnConfirm->setText(text);
}

void BaseDialog::setCancelButtonText(const QString &text)
{
    m_ui->btnCancel->setText(text);
}

void BaseDialog::setBottomBarHeight(int height)
{
    m_ui->m_BaseDialogBottom->setFixedHeight(height);
    applyCentreSize();
}

void BaseDialog::setBottomVisible(bool value)
{
    m_ui->m_BaseDialogBottom->setVisible(value);
    applyCentreSize();
}

void BaseDialog::onConfirmBtnClicked()
{
    if (m_confirmCloses)
        accept();
    Q_EMIT signalConfirmButtonClicked();
}

void BaseDialog::onCancelBtnClicked()
{
    if (m_cancelCloses)
        close();
    Q_EMIT signalCancelButtonClicked();
}

void BaseDialog::restoreWindow()
{
    TarnGUIToolkit::CWidgetSizeFactory *factory = m_title->GetWidgetSizeFactory();
    if (factory->IsMaximized(this))
        factory->ShowNormal(this);
    else
        factory->ShowMaximized(this);
}

void BaseDialog::setVisible(bool visible)
{
    // Messages and questions are built without a parent (the exit question,
    // the manual's hints) and Qt centres those on the screen, which on a
    // wide screen puts them far from the window they speak about.
    QWidget *anchor = QApplication::activeWindow();
    if (visible && !isVisible() && !parentWidget() && !testAttribute(Qt::WA_Moved) && anchor && anchor != this) {
        // The size it will show at: style sheet and layout applied first.
        ensurePolished();
        if (QLayout *outer = layout())
            outer->activate();
        if (!testAttribute(Qt::WA_Resized))
            adjustSize();
        const QRect over = anchor->frameGeometry();
        QRect placed(QPoint(0, 0), frameGeometry().size());
        placed.moveCenter(over.center());
        // Wholly on the window's screen, title bar first.
        if (const QScreen *screen = anchor->screen()) {
            const QRect area = screen->availableGeometry();
            placed.moveRight(qMin(placed.right(), area.right()));
            placed.moveBottom(qMin(placed.bottom(), area.bottom()));
            placed.moveLeft(qMax(placed.left(), area.left()));
            placed.moveTop(qMax(placed.top(), area.top()));
        }
        move(placed.topLeft());
    }
    QDialog::setVisible(visible);
}

void BaseDialog::setFixedSize(int width, int height)
{
    setFixedSize(QSize(width, height));
}

void BaseDialog::setFixedSize(const QSize &size)
{
    m_fixedSize = size;
    QDialog::setFixedSize(size);
    applyCentreSize();
}

void BaseDialog::applyCentreSize()
{
    if (!m_fixedSize.isValid())
        return;
    QLayout *outer = m_ui->verticalLayout_3;
    const int titleHeight = m_ui->titleLayout->isEmpty() ? 0 : m_ui->titleLayout->sizeHint().height();
    const int bottomHeight = layoutHeightOf(outer, m_ui->m_BaseDialogBottom);
    const int centreHeight = qMax(0, m_fixedSize.height() - titleHeight - bottomHeight);
    m_ui->mainBorder->setFixedSize(m_fixedSize.width(), centreHeight);
}

void BaseDialog::setCenterWidget(QWidget *widget)
{
    if (!widget)
        return;
    QLayout *border = m_ui->BorderLayout;
    while (QLayoutItem *item = border->takeAt(0)) {
        // The new widget may already sit here (set twice): keep it alive.
        if (item->widget() != widget)
            delete item->widget();
        delete item;
    }
    m_ui->m_labelNULL = nullptr; // deleted with the layout's items
    m_ui->BorderLayout->addWidget(widget);
}

void BaseDialog::addTitleButton(QAbstractButton *button)
{
    m_title->addCustomButton(button);
}

void BaseDialog::addBottomWidget(QWidget *widget)
{
    if (widget)
        m_ui->layoutMyBtns->addWidget(widget);
}

} // namespace aptui
