#include "consolewindow.h"

#include "contextoperation.h"
#include "element.h"
#include "elementwidget.h"
#include "module.h"
#include "plugin.h"
#include "taskdescription.h"
#include "taskobserver.h"
#include "treenode.h"
#include "vieweditelementwidget.h"

#include <QAction>

#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString localComputerType = QStringLiteral("LocalComputer");

QString statusText(int status)
{
    switch (status) {
    case TaskDescription::Failed:
        return ConsoleWindow::tr("Failed");
    case TaskDescription::Succeeded:
        return ConsoleWindow::tr("Succeeded");
    case TaskDescription::SucceededWithWarnings:
        return ConsoleWindow::tr("Succeeded with warnings");
    default:
        return ConsoleWindow::tr("Finished");
    }
}

QString typeOf(const Element* element)
{
    const auto* node = dynamic_cast<const TreeNode*>(element);
    return node ? node->nodeType() : QString();
}

QString parentTypeOf(const Element* element)
{
    const auto* node = dynamic_cast<const TreeNode*>(element);
    return node ? node->parentType() : QString();
}

} // namespace

ConsoleWindow::ConsoleWindow(QWidget* parent)
    : QMainWindow(parent)
    , _elementTree(new QTreeWidget)
    , _rootItem(new QTreeWidgetItem)
    , _captionLabel(new QLabel)
    , _widgetStack(new QStackedWidget)
    , _taskPanel(new QTreeWidget)
{
    setWindowTitle(tr("Administration console"));
    buildActions();
    buildLayout();
    resize(1180, 800);

    TaskObserver* observer = TaskObserver::instance(nullptr);
    connect(observer, &TaskObserver::taskStarted, this, &ConsoleWindow::taskStarted);
    connect(observer, &TaskObserver::taskFinished, this, &ConsoleWindow::taskFinished);
}

ConsoleWindow::~ConsoleWindow()
{
    // The modules own the element widgets: take them out of the stack before it goes.
    while (_widgetStack->count() > 0) {
        QWidget* widget = _widgetStack->widget(0);
        _widgetStack->removeWidget(widget);
        widget->setParent(nullptr);
    }
}

void ConsoleWindow::buildActions()
{
    QToolBar* toolBar = addToolBar(tr("Element"));
    toolBar->setObjectName(QStringLiteral("elementToolBar"));
    _editAction = toolBar->addAction(QIcon::fromTheme(QStringLiteral("document-edit")), tr("Edit"),
                                     this, &ConsoleWindow::editCurrent);
    _applyAction = toolBar->addAction(QIcon::fromTheme(QStringLiteral("dialog-ok-apply")),
                                      tr("Apply"), this, &ConsoleWindow::applyCurrent);
    _cancelAction = toolBar->addAction(QIcon::fromTheme(QStringLiteral("dialog-cancel")),
                                       tr("Cancel"), this, &ConsoleWindow::cancelCurrent);
    _refreshAction = toolBar->addAction(QIcon::fromTheme(QStringLiteral("view-refresh")),
                                        tr("Refresh"), this, &ConsoleWindow::refreshCurrent);
    _editAction->setObjectName(QStringLiteral("editAction"));
    _applyAction->setObjectName(QStringLiteral("applyAction"));
    _cancelAction->setObjectName(QStringLiteral("cancelAction"));
    _refreshAction->setObjectName(QStringLiteral("refreshAction"));
    updateActions();
}

void ConsoleWindow::buildLayout()
{
    _elementTree->setObjectName(QStringLiteral("elementTree"));
    _elementTree->setHeaderHidden(true);
    _rootItem->setText(0, localComputerType);
    _rootItem->setIcon(0, QIcon::fromTheme(QStringLiteral("computer")));
    _elementTree->addTopLevelItem(_rootItem);
    connect(_elementTree, &QTreeWidget::currentItemChanged, this, &ConsoleWindow::elementSelected);

    _captionLabel->setObjectName(QStringLiteral("captionLabel"));
    QFont captionFont = _captionLabel->font();
    captionFont.setBold(true);
    captionFont.setPointSizeF(captionFont.pointSizeF() * 1.2);
    _captionLabel->setFont(captionFont);

    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(_captionLabel);
    pageLayout->addWidget(_widgetStack, 1);
    _widgetStack->addWidget(new QWidget);

    auto* splitter = new QSplitter;
    splitter->addWidget(_elementTree);
    splitter->addWidget(page);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({330, 770});
    setCentralWidget(splitter);

    _taskPanel->setObjectName(QStringLiteral("taskPanel"));
    _taskPanel->setRootIsDecorated(false);
    _taskPanel->setHeaderLabels({tr("Task"), tr("Status"), tr("Message")});
    _taskPanel->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* dock = new QDockWidget(tr("Tasks"));
    dock->setObjectName(QStringLiteral("taskDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setWidget(_taskPanel);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
}

void ConsoleWindow::addPlugins(const QList<Plugin*>& plugins)
{
    for (Plugin* plugin : plugins) {
        for (Module* module : plugin->modules())
            addModule(module);
    }
    _elementTree->expandAll();
    // Wide enough for the longest element name, whatever the language.
    _elementTree->resizeColumnToContents(0);
    _elementTree->setMinimumWidth(_elementTree->columnWidth(0) + 2 * _elementTree->frameWidth());
}

void ConsoleWindow::addModule(Module* module)
{
    placeElements(module->elements());
    for (ElementWidget* widget : module->elementWidgets()) {
        _widgetStack->addWidget(widget);
        if (auto* viewEdit = qobject_cast<ViewEditElementWidget*>(widget)) {
            viewEdit->blockEditWidget(true);
            connect(viewEdit, &ViewEditElementWidget::editStateChanged, this,
                    &ConsoleWindow::updateActions);
            connect(viewEdit, &ViewEditElementWidget::changedStateChanged, this,
                    &ConsoleWindow::updateActions);
        }
    }
}

// Elements may name a parent that comes later in the list, so place them in rounds; an
// element whose parent never shows up goes under the root.
void ConsoleWindow::placeElements(const QList<Element*>& pending)
{
    QList<Element*> left = pending;
    while (!left.isEmpty()) {
        QList<Element*> next;
        for (Element* element : qAsConst(left)) {
            QTreeWidgetItem* parent = itemForType(parentTypeOf(element));
            if (!parent) {
                next.append(element);
                continue;
            }
            auto* item = new QTreeWidgetItem(parent);
            item->setText(0, element->data(0, Qt::DisplayRole).toString());
            item->setIcon(0, element->data(0, Qt::DecorationRole).value<QIcon>());
            item->setData(0, Qt::UserRole, typeOf(element));
            _itemElements.insert(item, element);
            _elements.append(element);
        }
        if (next.size() == left.size()) {
            for (Element* element : qAsConst(next)) {
                auto* item = new QTreeWidgetItem(_rootItem);
                item->setText(0, element->data(0, Qt::DisplayRole).toString());
                item->setData(0, Qt::UserRole, typeOf(element));
                _itemElements.insert(item, element);
                _elements.append(element);
            }
            break;
        }
        left = next;
    }
}

QTreeWidgetItem* ConsoleWindow::itemForType(const QString& type) const
{
    if (type == localComputerType)
        return _rootItem;
    for (auto it = _itemElements.cbegin(); it != _itemElements.cend(); ++it) {
        if (it.key()->data(0, Qt::UserRole).toString() == type)
            return it.key();
    }
    return nullptr;
}

void ConsoleWindow::showLoadErrors(const QStringList& errors)
{
    for (const QString& error : errors) {
        auto* item = new QTreeWidgetItem(_taskPanel);
        item->setText(0, tr("Load plug-in"));
        item->setText(1, statusText(TaskDescription::Failed));
        item->setText(2, error);
    }
    if (!errors.isEmpty())
        statusBar()->showMessage(tr("%n plug-in(s) could not be loaded", nullptr, errors.size()));
}

void ConsoleWindow::startUp()
{
    for (Element* element : qAsConst(_elements)) {
        if (element->availableOperations() & StartupOperation)
            element->performOperation(StartupOperation, nullptr, 0);
    }
}

QList<Element*> ConsoleWindow::elements() const
{
    return _elements;
}

bool ConsoleWindow::showElement(Element* element)
{
    for (auto it = _itemElements.cbegin(); it != _itemElements.cend(); ++it) {
        if (it.value() == element) {
            _elementTree->setCurrentItem(it.key());
            return true;
        }
    }
    return false;
}

Element* ConsoleWindow::currentElement() const
{
    return _itemElements.value(_elementTree->currentItem());
}

QTreeWidget* ConsoleWindow::elementTree() const
{
    return _elementTree;
}

QTreeWidget* ConsoleWindow::taskPanel() const
{
    return _taskPanel;
}

void ConsoleWindow::elementSelected()
{
    Element* element = currentElement();
    ElementWidget* widget = widgetFor(element);
    _captionLabel->setText(element ? element->caption() : QString());
    _widgetStack->setCurrentIndex(widget ? _widgetStack->indexOf(widget) : 0);
    if (element && (element->availableOperations() & ReadOperation))
        readCurrent();
    updateActions();
}

ElementWidget* ConsoleWindow::widgetFor(Element* element) const
{
    return element ? element->elementWidget(MainWidgetRole) : nullptr;
}

ViewEditElementWidget* ConsoleWindow::currentViewEditWidget() const
{
    return qobject_cast<ViewEditElementWidget*>(widgetFor(currentElement()));
}

void ConsoleWindow::readCurrent()
{
    if (Element* element = currentElement())
        element->performOperation(ReadOperation, nullptr, 0);
}

void ConsoleWindow::editCurrent()
{
    if (ViewEditElementWidget* widget = currentViewEditWidget())
        widget->blockEditWidget(false);
}

void ConsoleWindow::applyCurrent()
{
    if (ViewEditElementWidget* widget = currentViewEditWidget())
        widget->applyContentChanges();
}

void ConsoleWindow::cancelCurrent()
{
    ViewEditElementWidget* widget = currentViewEditWidget();
    if (!widget)
        return;
    widget->reset();
    widget->blockEditWidget(true);
    readCurrent();
}

void ConsoleWindow::refreshCurrent()
{
    readCurrent();
}

void ConsoleWindow::updateActions()
{
    Element* element = currentElement();
    ViewEditElementWidget* widget = currentViewEditWidget();
    const bool updatable = element && widget && (element->availableOperations() & UpdateOperation)
        && widget->isEditable();
    const bool editing = updatable && !widget->isEditBlocked();
    _editAction->setEnabled(updatable && !editing);
    _applyAction->setEnabled(editing && widget->isChanged());
    _cancelAction->setEnabled(editing);
    _refreshAction->setEnabled(element && (element->availableOperations() & ReadOperation));
}

void ConsoleWindow::taskStarted(const QString& description)
{
    auto* item = new QTreeWidgetItem(_taskPanel);
    item->setText(0, description);
    item->setText(1, tr("Running"));
    _runningTasks.append(item);
    _taskPanel->scrollToItem(item);
}

void ConsoleWindow::taskFinished(const QString& description, int status, const QString& message)
{
    QTreeWidgetItem* item = nullptr;
    for (QTreeWidgetItem* running : qAsConst(_runningTasks)) {
        if (running->text(0) == description) {
            item = running;
            break;
        }
    }
    if (!item)
        item = new QTreeWidgetItem(_taskPanel, {description});
    _runningTasks.removeOne(item);
    item->setText(1, statusText(status));
    item->setText(2, message);
    item->setToolTip(2, message);
    const QString icon = status == TaskDescription::Failed ? QStringLiteral("dialog-error")
        : status == TaskDescription::SucceededWithWarnings ? QStringLiteral("dialog-warning")
                                                           : QStringLiteral("dialog-ok");
    item->setIcon(1, QIcon::fromTheme(icon));
    updateActions();
}
