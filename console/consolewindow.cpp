#include "consolewindow.h"

#include "contextoperation.h"
#include "element.h"
#include "elementwidget.h"
#include "messagearea.h"
#include "module.h"
#include "plugin.h"
#include "taskdescription.h"
#include "taskobserver.h"
#include "taskpanel.h"
#include "treenode.h"
#include "vieweditelementwidget.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString localComputerType = QStringLiteral("LocalComputer");

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
    , _pageMessageArea(new MessageArea)
    , _widgetStack(new QStackedWidget)
    , _pageScrollArea(new QScrollArea)
    , _taskPanel(new TaskPanel)
    , _closeAfterUpdates(false)
{
    setWindowTitle(consoleName());
    buildActions();
    buildLayout();
    resize(1180, 900);

    connect(TaskObserver::instance(nullptr), &TaskObserver::recordChanged, this,
            &ConsoleWindow::recordChanged);
}

ConsoleWindow::~ConsoleWindow()
{
    // The modules own the element widgets: take them out of the stack before it goes.
    while (_widgetStack->count() > 0) {
        QWidget* widget = _widgetStack->widget(0);
        _widgetStack->removeWidget(widget);
        if (qobject_cast<ElementWidget*>(widget))
            widget->setParent(nullptr);
        else
            delete widget;
    }
}

QString ConsoleWindow::consoleName()
{
    return tr("Administration console");
}

void ConsoleWindow::buildActions()
{
    _editAction = addElementAction(QStringLiteral("document-edit"), tr("&Edit"),
                                   QKeySequence(Qt::CTRL | Qt::Key_E), &ConsoleWindow::editCurrent);
    _applyAction
        = addElementAction(QStringLiteral("dialog-ok-apply"), tr("&Apply"),
                           QKeySequence(Qt::CTRL | Qt::Key_S), &ConsoleWindow::applyCurrent);
    _cancelAction = addElementAction(QStringLiteral("dialog-cancel"), tr("&Cancel"),
                                     QKeySequence(Qt::Key_Escape), &ConsoleWindow::cancelCurrent);
    _refreshAction = addElementAction(QStringLiteral("view-refresh"), tr("&Refresh"),
                                      QKeySequence(Qt::Key_F5), &ConsoleWindow::refreshCurrent);
    _editAction->setObjectName(QStringLiteral("editAction"));
    _applyAction->setObjectName(QStringLiteral("applyAction"));
    _cancelAction->setObjectName(QStringLiteral("cancelAction"));
    _refreshAction->setObjectName(QStringLiteral("refreshAction"));

    // The menu carries the mnemonics; the tool bar is for the mouse.
    QMenu* menu = menuBar()->addMenu(tr("E&lement"));
    menu->setObjectName(QStringLiteral("elementMenu"));
    QToolBar* toolBar = addToolBar(tr("Element"));
    toolBar->setObjectName(QStringLiteral("elementToolBar"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (QAction* action : {_editAction, _applyAction, _cancelAction, _refreshAction}) {
        menu->addAction(action);
        toolBar->addAction(action);
    }
    updateActions();
}

QAction* ConsoleWindow::addElementAction(const QString& icon, const QString& text,
                                         const QKeySequence& shortcut,
                                         void (ConsoleWindow::*slot)())
{
    auto* action = new QAction(QIcon::fromTheme(icon), text, this);
    action->setShortcut(shortcut);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(action->iconText(),
                                                     shortcut.toString(QKeySequence::NativeText)));
    connect(action, &QAction::triggered, this, slot);
    return action;
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

    _pageMessageArea->setObjectName(QStringLiteral("pageMessageArea"));
    connect(_pageMessageArea, &MessageArea::dismissed, this,
            [this] { _pageMessages.remove(_shownElement); });

    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(_captionLabel);
    pageLayout->addWidget(_pageMessageArea);
    // A page that does not fit scrolls rather than being squeezed until its texts overlap.
    _pageScrollArea->setFrameShape(QFrame::NoFrame);
    _pageScrollArea->setWidgetResizable(true);
    _pageScrollArea->setWidget(_widgetStack);
    pageLayout->addWidget(_pageScrollArea, 1);
    _widgetStack->addWidget(new QWidget);

    auto* splitter = new QSplitter;
    splitter->addWidget(_elementTree);
    splitter->addWidget(page);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({330, 770});
    setCentralWidget(splitter);

    auto* dock = new QDockWidget(tr("Tasks"));
    dock->setObjectName(QStringLiteral("taskDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setWidget(_taskPanel);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    // The element's page is where the work happens; the panel keeps a few rows in view.
    resizeDocks({dock}, {fontMetrics().lineSpacing() * 9}, Qt::Vertical);
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
    for (const QString& error : errors)
        _taskPanel->addLoadError(error);
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
            return _shownElement == element;
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
    return _taskPanel->tree();
}

void ConsoleWindow::elementSelected(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    Element* element = _itemElements.value(current);
    if (element == _shownElement)
        return;
    if (settleEdits() == Leave::Stay) {
        const QSignalBlocker blocker(_elementTree);
        _elementTree->setCurrentItem(previous);
        return;
    }
    showPage(element);
}

void ConsoleWindow::showPage(Element* element)
{
    _shownElement = element;
    ElementWidget* widget = widgetFor(element);
    _captionLabel->setText(element ? element->caption() : QString());
    _widgetStack->setCurrentIndex(widget ? _widgetStack->indexOf(widget) : 0);
    // Only the shown page asks for room; a wide page elsewhere must not make this one scroll.
    for (int index = 0; index < _widgetStack->count(); ++index) {
        const bool shown = index == _widgetStack->currentIndex();
        _widgetStack->widget(index)->setSizePolicy(
            shown ? QSizePolicy::Preferred : QSizePolicy::Ignored,
            shown ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    }
    _widgetStack->adjustSize();
    // The page scrolls down, not across: its width still makes room for itself.
    _pageScrollArea->setMinimumWidth(_widgetStack->minimumSizeHint().width()
                                     + _pageScrollArea->verticalScrollBar()->sizeHint().width());
    showPageMessages();
    if (element && (element->availableOperations() & ReadOperation))
        readCurrent();
    updateActions();
}

// Asked before the shown element's page is left, refreshed or closed while it holds an edit
// that was not applied. Cancel is the default: a stray Enter neither writes nor loses anything.
ConsoleWindow::Leave ConsoleWindow::settleEdits()
{
    ViewEditElementWidget* widget = shownViewEditWidget();
    if (!widget || widget->isEditBlocked() || !widget->isChanged() || widget->isUpdateRunning()
        || !(_shownElement->availableOperations() & UpdateOperation))
        return Leave::Go;
    QMessageBox box(QMessageBox::Warning, tr("Changes not applied"),
                    tr("The settings of \"%1\" have been changed.\n"
                       "Do you want to apply the changes or discard them?")
                        .arg(_shownElement->data(0, Qt::DisplayRole).toString()),
                    QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("leaveQuestion"));
    box.button(QMessageBox::Apply)->setText(tr("&Apply"));
    box.button(QMessageBox::Discard)->setText(tr("&Discard"));
    box.button(QMessageBox::Cancel)->setText(tr("&Cancel"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Apply:
        widget->applyContentChanges();
        // Apply may be refused or declined (a confirmation answered No): then stay.
        return widget->isUpdateRunning() ? Leave::Applied : Leave::Stay;
    case QMessageBox::Discard:
        widget->reset();
        widget->blockEditWidget(true);
        return Leave::Go;
    default:
        return Leave::Stay;
    }
}

bool ConsoleWindow::confirmDiscard()
{
    QMessageBox box(QMessageBox::Question, tr("Discard changes"),
                    tr("Discard the changes that were not applied?"), QMessageBox::Discard, this);
    box.setObjectName(QStringLiteral("discardQuestion"));
    box.button(QMessageBox::Discard)->setText(tr("&Discard"));
    QPushButton* keep = box.addButton(tr("&Keep editing"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() != keep;
}

void ConsoleWindow::closeEvent(QCloseEvent* event)
{
    if (settleEdits() == Leave::Stay) {
        event->ignore();
        return;
    }
    // Closing under a running update would ask its questions without a window behind them.
    if (anyUpdateRunning()) {
        _closeAfterUpdates = true;
        statusBar()->showMessage(tr("The console closes when the update has ended."));
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

ElementWidget* ConsoleWindow::widgetFor(Element* element) const
{
    return element ? element->elementWidget(MainWidgetRole) : nullptr;
}

ViewEditElementWidget* ConsoleWindow::shownViewEditWidget() const
{
    return qobject_cast<ViewEditElementWidget*>(widgetFor(_shownElement));
}

void ConsoleWindow::readCurrent()
{
    if (_shownElement)
        _shownElement->performOperation(ReadOperation, nullptr, 0);
}

void ConsoleWindow::editCurrent()
{
    ViewEditElementWidget* widget = shownViewEditWidget();
    if (widget && !widget->isUpdateRunning())
        widget->blockEditWidget(false);
}

void ConsoleWindow::applyCurrent()
{
    if (ViewEditElementWidget* widget = shownViewEditWidget())
        widget->applyContentChanges();
}

void ConsoleWindow::cancelCurrent()
{
    ViewEditElementWidget* widget = shownViewEditWidget();
    if (!widget || widget->isUpdateRunning() || widget->isEditBlocked())
        return;
    if (widget->isChanged() && !confirmDiscard())
        return;
    widget->reset();
    widget->blockEditWidget(true);
    readCurrent();
}

void ConsoleWindow::refreshCurrent()
{
    if (isUpdating(_shownElement))
        return;
    // After an Apply the update reads the element again by itself.
    if (settleEdits() == Leave::Go)
        readCurrent();
}

bool ConsoleWindow::isUpdating(const Element* element) const
{
    return TaskObserver::instance(nullptr)->isUpdateRunning(element);
}

bool ConsoleWindow::anyUpdateRunning() const
{
    return std::any_of(_elements.cbegin(), _elements.cend(),
                       [this](const Element* element) { return isUpdating(element); });
}

void ConsoleWindow::updateActions()
{
    Element* element = _shownElement;
    ViewEditElementWidget* widget = shownViewEditWidget();
    const bool updatable = element && widget && (element->availableOperations() & UpdateOperation)
        && widget->isEditable();
    const bool editing = updatable && !widget->isEditBlocked();
    const bool idle = !isUpdating(element);
    _editAction->setEnabled(updatable && !editing && idle);
    _applyAction->setEnabled(editing && widget->isChanged() && idle);
    _cancelAction->setEnabled(editing && idle);
    _refreshAction->setEnabled(element && (element->availableOperations() & ReadOperation) && idle);
}

void ConsoleWindow::recordChanged(int index)
{
    const TaskObserver::Record record = TaskObserver::instance(nullptr)->history().at(index);
    _taskPanel->showRecord(index, record);
    if (record.status != TaskDescription::NotFinished && record.element)
        keepPageMessage(record.element, {record.description, record.status, record.message});
    if (_closeAfterUpdates && record.update && record.status != TaskDescription::NotFinished
        && !anyUpdateRunning()) {
        _closeAfterUpdates = false;
        statusBar()->clearMessage();
        // A failed update stays in view; otherwise the close asked for goes on.
        if (record.status != TaskDescription::Failed)
            QTimer::singleShot(0, this, &QWidget::close);
    }
    updateActions();
}

// A task's failure or warnings stay on its element's page until the same kind of task ends
// well or the administrator closes the message.
void ConsoleWindow::keepPageMessage(const Element* element, const PageMessage& message)
{
    QList<PageMessage>& messages = _pageMessages[element];
    messages.erase(std::remove_if(messages.begin(), messages.end(),
                                  [&message](const PageMessage& kept) {
                                      return kept.description == message.description;
                                  }),
                   messages.end());
    if (message.status == TaskDescription::Failed
        || message.status == TaskDescription::SucceededWithWarnings)
        messages.append(message);
    if (messages.isEmpty())
        _pageMessages.remove(element);
    if (element == _shownElement)
        showPageMessages();
}

void ConsoleWindow::showPageMessages()
{
    const QList<PageMessage> messages = _pageMessages.value(_shownElement);
    if (messages.isEmpty()) {
        _pageMessageArea->clearMessage();
        return;
    }
    QStringList texts;
    bool failed = false;
    for (const PageMessage& message : messages) {
        failed = failed || message.status == TaskDescription::Failed;
        const QString headline = message.status == TaskDescription::Failed
            ? tr("%1 failed:").arg(message.description)
            : tr("%1 ended with warnings:").arg(message.description);
        texts << (message.message.isEmpty() ? headline
                                            : headline + QLatin1Char('\n') + message.message);
    }
    _pageMessageArea->showMessage(failed ? MessageArea::Error : MessageArea::Warning,
                                  texts.join(QStringLiteral("\n\n")));
}
