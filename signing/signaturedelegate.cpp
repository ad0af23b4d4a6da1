#include "signaturedelegate.h"

#include "signfilemodel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace {

QIcon themed(const char* name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

QString columnMeaning(int column)
{
    return column == SignFileModel::SignatureColumn
        ? SignatureDelegate::tr("Whether the file carries a good signature embedded in the "
                                "executable (ELF) file itself.")
        : SignatureDelegate::tr("Whether the file carries a good signature in its extended "
                                "attributes.");
}

} // namespace

SignatureDelegate::Presentation SignatureDelegate::presentation(const QModelIndex& index)
{
    const auto status
        = SignFileModel::SignatureStatus(index.data(SignFileModel::SignatureStatusRole).toInt());
    const QString meaning = columnMeaning(index.column());
    switch (status) {
    case SignFileModel::Signed:
        return {tr("Signed"), themed("security-high", QStyle::SP_DialogApplyButton), meaning};
    case SignFileModel::NotSigned:
        return {tr("Not signed"), themed("security-low", QStyle::SP_DialogCancelButton), meaning};
    case SignFileModel::Checking:
        return {tr("Checking…"), themed("view-refresh", QStyle::SP_BrowserReload), meaning};
    case SignFileModel::Unverifiable:
        return {QStringLiteral("?"), themed("dialog-question", QStyle::SP_MessageBoxQuestion),
                tr("%1\nThe file could not be checked: %2")
                    .arg(meaning, index.data(SignFileModel::SignatureFailureRole).toString())};
    case SignFileModel::NotApplicable:
        break;
    }
    return {};
}

void SignatureDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const Presentation shown = presentation(index);
    option->text = shown.text;
    option->icon = shown.icon;
    if (shown.icon.isNull())
        option->features &= ~QStyleOptionViewItem::HasDecoration;
    else
        option->features |= QStyleOptionViewItem::HasDecoration;
}

bool SignatureDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                  const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString toolTip = presentation(index).toolTip;
    if (toolTip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), toolTip, view);
    return true;
}
