#include "messagearea.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

MessageArea::MessageArea(QWidget* parent)
    : QFrame(parent)
    , _icon(new QLabel)
    , _text(new QLabel)
    , _closeButton(new QToolButton)
    , _type(Information)
{
    setObjectName(QStringLiteral("messageArea"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    _icon->setObjectName(QStringLiteral("messageIcon"));
    _icon->setAlignment(Qt::AlignTop);
    _text->setObjectName(QStringLiteral("messageText"));
    // File contents end up here: never interpret them as markup.
    _text->setTextFormat(Qt::PlainText);
    _text->setWordWrap(true);
    _text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    _text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    _closeButton->setObjectName(QStringLiteral("messageCloseButton"));
    _closeButton->setAutoRaise(true);
    _closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    _closeButton->setToolTip(tr("Close the message"));
    connect(_closeButton, &QToolButton::clicked, this, [this] {
        clearMessage();
        Q_EMIT dismissed();
    });

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(_icon, 0, Qt::AlignTop);
    layout->addWidget(_text, 1);
    layout->addWidget(_closeButton, 0, Qt::AlignTop);
    applyType();
    hide();
}

MessageArea::~MessageArea() = default;

void MessageArea::showMessage(Type type, const QString& text)
{
    _type = type;
    _text->setText(text);
    applyType();
    show();
}

void MessageArea::clearMessage()
{
    _text->clear();
    hide();
}

MessageArea::Type MessageArea::type() const
{
    return _type;
}

QString MessageArea::text() const
{
    return _text->text();
}

void MessageArea::setCloseButtonVisible(bool visible)
{
    _closeButton->setVisible(visible);
}

void MessageArea::applyType()
{
    static const struct
    {
        QStyle::StandardPixmap icon;
        QColor tint;
    } looks[] = {{QStyle::SP_MessageBoxInformation, QColor(61, 174, 233)},
                 {QStyle::SP_MessageBoxWarning, QColor(246, 116, 0)},
                 {QStyle::SP_MessageBoxCritical, QColor(218, 68, 83)}};
    const auto& look = looks[_type];
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this) * 2;
    _icon->setPixmap(style()->standardIcon(look.icon, nullptr, this).pixmap(size, size));
    // A light wash of the kind's colour over the window colour, readable in light and dark.
    QPalette tinted = palette();
    const QColor window = QApplication::palette(this).color(QPalette::Window);
    const auto mix = [&](int base, int tint) {
        return (base * 4 + tint) / 5;
    };
    tinted.setColor(QPalette::Window,
                    QColor(mix(window.red(), look.tint.red()),
                           mix(window.green(), look.tint.green()),
                           mix(window.blue(), look.tint.blue())));
    setPalette(tinted);
}
