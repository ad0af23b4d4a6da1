#pragma once

#include "taskobserver.h"

#include <QHash>
#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The console's list of tasks: what each does, how it ended, when it started and the first line
// of its message. A double-click shows the whole message, to read and copy; finished rows can
// be cleared.
class TaskPanel : public QWidget
{
    Q_OBJECT
public:
    enum Column { TaskColumn, StatusColumn, StartedColumn, MessageColumn };

    explicit TaskPanel(QWidget* parent = nullptr);
    ~TaskPanel() override;

    QTreeWidget* tree() const;
    // Adds or completes the row of the observer's history entry at index.
    void showRecord(int index, const TaskObserver::Record& record);
    void addLoadError(const QString& error);
    static QString statusText(int status);

public Q_SLOTS:
    void clearFinished();
    void showWholeMessage(QTreeWidgetItem* item);

private:
    void fill(QTreeWidgetItem* item, const QString& description, int status,
              const QDateTime& started, const QString& message);
    void updateClearButton();

    QTreeWidget* _tree;
    QPushButton* _clearButton;
    QHash<int, QTreeWidgetItem*> _records;
};
