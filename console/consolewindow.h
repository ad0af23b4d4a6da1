#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

class Element;
class ElementWidget;
class MessageArea;
class Module;
class Plugin;
class QAction;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TaskPanel;
class ViewEditElementWidget;

// The console's main window: the element tree under "LocalComputer", the selected element's
// widget with its caption, the messages of its tasks and the edit actions, and the panel of
// tasks. An edit that was not applied is never dropped without asking.
class ConsoleWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ConsoleWindow(QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    // The console's own name, for its window and its message boxes.
    static QString consoleName();

    void addPlugins(const QList<Plugin*>& plugins);
    void showLoadErrors(const QStringList& errors);
    // Sends the start-up operation to every element that offers it.
    void startUp();

    QList<Element*> elements() const;
    // Selects the element, as a click in the tree would; false when it is not shown in the end.
    bool showElement(Element* element);
    Element* currentElement() const;
    QTreeWidget* elementTree() const;
    QTreeWidget* taskPanel() const;

public Q_SLOTS:
    void editCurrent();
    void applyCurrent();
    void cancelCurrent();
    void refreshCurrent();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What became of an edit that was not applied when the administrator wants to leave it.
    enum class Leave { Go, Stay, Applied };
    struct PageMessage
    {
        QString description;
        int status;
        QString message;
    };

    void buildActions();
    QAction* addElementAction(const QString& icon, const QString& text,
                              const QKeySequence& shortcut, void (ConsoleWindow::*slot)());
    void buildLayout();
    void addModule(Module* module);
    QTreeWidgetItem* itemForType(const QString& type) const;
    void placeElements(const QList<Element*>& pending);
    void elementSelected(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void showPage(Element* element);
    Leave settleEdits();
    bool confirmDiscard();
    void readCurrent();
    void updateActions();
    bool isUpdating(const Element* element) const;
    bool anyUpdateRunning() const;
    ViewEditElementWidget* shownViewEditWidget() const;
    ElementWidget* widgetFor(Element* element) const;
    void recordChanged(int index);
    void keepPageMessage(const Element* element, const PageMessage& message);
    void showPageMessages();

    QTreeWidget* _elementTree;
    QTreeWidgetItem* _rootItem;
    QLabel* _captionLabel;
    MessageArea* _pageMessageArea;
    QStackedWidget* _widgetStack;
    QScrollArea* _pageScrollArea;
    TaskPanel* _taskPanel;
    QAction* _editAction;
    QAction* _applyAction;
    QAction* _cancelAction;
    QAction* _refreshAction;
    QList<Element*> _elements;
    QHash<QTreeWidgetItem*, Element*> _itemElements;
    QPointer<Element> _shownElement;
    QHash<const Element*, QList<PageMessage>> _pageMessages;
    bool _closeAfterUpdates;
};
