#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

// Shows the signature columns of a SignFileModel readably: an icon and a word for the state,
// a tool tip that says what the column means and, for a file that could not be verified,
// why. Folders show nothing. The model keeps its plain values.
class SignatureDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    struct Presentation
    {
        QString text;
        QIcon icon;
        QString toolTip;
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    static Presentation presentation(const QModelIndex& index);

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
