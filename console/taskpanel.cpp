#include "taskpanel.h"

#include "taskdescription.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int statusRole = Qt::UserRole;
constexpr int messageRole = Qt::UserRole + 1;

QString firstLine(const QString& message)
{
    const int end = message.indexOf(QLatin1Char('\n'));
    return end < 0 ? message : message.left(end) + QStringLiteral(" …");
}

QString statusIcon(int status)
{
    switch (status) {
    case TaskDescription::Failed:
        return QStringLiteral("dialog-error");
    case TaskDescription::SucceededWithWarnings:
        return QStringLiteral("dialog-warning");
    case TaskDescription::NotFinished:
        return QStringLiteral("view-refresh");
    default:
        return QStringLiteral("dialog-ok");
    }
}

} // namespace

TaskPanel::TaskPanel(QWidget* parent)
    : QWidget(parent)
    , _tree(new QTreeWidget)
    , _clearButton(new QPushButton(tr("C&lear finished")))
{
    _tree->setObjectName(QStringLiteral("taskPanel"));
    _tree->setRootIsDecorated(false);
    _tree->setHeaderLabels({tr("Task"), tr("Status"), tr("Started"), tr("Message")});
    _tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    _tree->header()->setStretchLastSection(true);
    _tree->setToolTip(tr("Double-click a task to read its whole message."));
    connect(_tree, &QTreeWidget::itemDoubleClicked, this, &TaskPanel::showWholeMessage);
    // The keyboard's way to the same: the context menu of the list.
    _tree->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* showAction = new QAction(tr("&Show the whole message"), _tree);
    connect(showAction, &QAction::triggered, this,
            [this] { showWholeMessage(_tree->currentItem()); });
    auto* clearAction = new QAction(tr("C&lear finished"), _tree);
    connect(clearAction, &QAction::triggered, this, &TaskPanel::clearFinished);
    _tree->addActions({showAction, clearAction});

    _clearButton->setObjectName(QStringLiteral("clearFinishedButton"));
    _clearButton->setToolTip(tr("Remove the tasks that have ended from the list"));
    connect(_clearButton, &QPushButton::clicked, this, &TaskPanel::clearFinished);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(_clearButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_tree, 1);
    layout->addLayout(buttons);
    updateClearButton();
}

TaskPanel::~TaskPanel() = default;

QTreeWidget* TaskPanel::tree() const
{
    return _tree;
}

QString TaskPanel::statusText(int status)
{
    switch (status) {
    case TaskDescription::NotFinished:
        return tr("Running");
    case TaskDescription::Failed:
        return tr("Failed");
    case TaskDescription::Succeeded:
        return tr("Succeeded");
    case TaskDescription::SucceededWithWarnings:
        return tr("Succeeded with warnings");
    default:
        return tr("Finished");
    }
}

void TaskPanel::showRecord(int index, const TaskObserver::Record& record)
{
    QTreeWidgetItem* item = _records.value(index);
    if (!item) {
        // A row cleared while its task still ran stays cleared.
        if (record.status != TaskDescription::NotFinished)
            return;
        item = new QTreeWidgetItem(_tree);
        _records.insert(index, item);
    }
    fill(item, record.description, record.status, record.started, record.message);
    if (record.status == TaskDescription::NotFinished)
        _tree->scrollToItem(item);
    updateClearButton();
}

void TaskPanel::addLoadError(const QString& error)
{
    fill(new QTreeWidgetItem(_tree), tr("Load plug-in"), TaskDescription::Failed,
         QDateTime::currentDateTime(), error);
    updateClearButton();
}

void TaskPanel::fill(QTreeWidgetItem* item, const QString& description, int status,
                     const QDateTime& started, const QString& message)
{
    item->setText(TaskColumn, description);
    item->setText(StatusColumn, statusText(status));
    item->setIcon(StatusColumn, QIcon::fromTheme(statusIcon(status)));
    item->setData(StatusColumn, statusRole, status);
    item->setText(StartedColumn, started.time().toString(QStringLiteral("HH:mm:ss")));
    item->setToolTip(StartedColumn, QLocale().toString(started, QLocale::LongFormat));
    item->setText(MessageColumn, firstLine(message));
    item->setData(MessageColumn, messageRole, message);
}

void TaskPanel::clearFinished()
{
    for (int row = _tree->topLevelItemCount() - 1; row >= 0; --row) {
        QTreeWidgetItem* item = _tree->topLevelItem(row);
        if (item->data(StatusColumn, statusRole).toInt() == TaskDescription::NotFinished)
            continue;
        for (auto it = _records.begin(); it != _records.end();) {
            it = it.value() == item ? _records.erase(it) : std::next(it);
        }
        delete item;
    }
    updateClearButton();
}

void TaskPanel::updateClearButton()
{
    bool finished = false;
    for (int row = 0; row < _tree->topLevelItemCount() && !finished; ++row) {
        finished = _tree->topLevelItem(row)->data(StatusColumn, statusRole).toInt()
            != TaskDescription::NotFinished;
    }
    _clearButton->setEnabled(finished);
}

// A window of its own, not modal, so the administrator can keep it open beside the console.
void TaskPanel::showWholeMessage(QTreeWidgetItem* item)
{
    if (!item)
        return;
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("taskMessageDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(item->text(TaskColumn));
    auto* status = new QLabel(
        tr("%1, started %2").arg(item->text(StatusColumn), item->toolTip(StartedColumn)));
    auto* text = new QPlainTextEdit(item->data(MessageColumn, messageRole).toString());
    text->setObjectName(QStringLiteral("taskMessageText"));
    text->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(status);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    dialog->resize(640, 360);
    dialog->show();
}
