#pragma once

#include <QHash>
#include <QMainWindow>

class Element;
class ElementWidget;
class Module;
class Plugin;
class QAction;
class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class ViewEditElementWidget;

// The console's main window: the element tree under "LocalComputer", the selected element's
// widget with its caption and edit actions, and the panel of tasks.
class ConsoleWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ConsoleWindow(QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    void addPlugins(const QList<Plugin*>& plugins);
    void showLoadErrors(const QStringList& errors);
    // Sends the start-up operation to every element that offers it.
    void startUp();

    QList<Element*> elements() const;
    bool showElement(Element* element);
    Element* currentElement() const;
    QTreeWidget* elementTree() const;
    QTreeWidget* taskPanel() const;

public Q_SLOTS:
    void editCurrent();
    void applyCurrent();
    void cancelCurrent();
    void refreshCurrent();

private:
    void buildActions();
    void buildLayout();
    void addModule(Module* module);
    QTreeWidgetItem* itemForType(const QString& type) const;
    void placeElements(const QList<Element*>& pending);
    void elementSelected();
    void readCurrent();
    void updateActions();
    ViewEditElementWidget* currentViewEditWidget() const;
    ElementWidget* widgetFor(Element* element) const;
    void taskStarted(const QString& description);
    void taskFinished(const QString& description, int status, const QString& message);

    QTreeWidget* _elementTree;
    QTreeWidgetItem* _rootItem;
    QLabel* _captionLabel;
    QStackedWidget* _widgetStack;
    QTreeWidget* _taskPanel;
    QAction* _editAction;
    QAction* _applyAction;
    QAction* _cancelAction;
    QAction* _refreshAction;
    QList<Element*> _elements;
    QHash<QTreeWidgetItem*, Element*> _itemElements;
    QList<QTreeWidgetItem*> _runningTasks;
};
