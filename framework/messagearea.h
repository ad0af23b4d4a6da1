#pragma once

#include "covaframework_export.h"

#include <QFrame>

class QLabel;
class QToolButton;

// A message shown inline where the administrator looks, above or inside a page: an icon for
// its kind, the whole text (selectable, so it can be copied), and optionally a close button.
// Hidden while it has no message.
class COVAFRAMEWORK_EXPORT MessageArea : public QFrame
{
    Q_OBJECT
public:
    enum Type { Information, Warning, Error };

    explicit MessageArea(QWidget* parent = nullptr);
    ~MessageArea() override;

    void showMessage(Type type, const QString& text);
    void clearMessage();
    Type type() const;
    QString text() const;
    void setCloseButtonVisible(bool visible);

Q_SIGNALS:
    // The administrator closed the message.
    void dismissed();

private:
    void applyType();

    QLabel* _icon;
    QLabel* _text;
    QToolButton* _closeButton;
    Type _type;
};
