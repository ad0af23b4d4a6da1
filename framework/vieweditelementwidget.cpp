#include "vieweditelementwidget.h"

#include "element.h"
#include "taskobserver.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

ViewEditElementWidget::ViewEditElementWidget(Module& module, bool (*permission)(Module const&),
                                             QWidget* parent)
    : ElementWidget(module, permission, parent)
    , _changed(false)
    , _editBlocked(false)
{
    connect(TaskObserver::instance(nullptr), &TaskObserver::recordChanged, this,
            &ViewEditElementWidget::lockInputsWhileUpdating);
}

ViewEditElementWidget::~ViewEditElementWidget() = default;

ElementData* ViewEditElementWidget::exportElementData() const
{
    return nullptr;
}

void ViewEditElementWidget::afterSuccessfulRead(Element*, ElementData*)
{
    setChanged(false);
}

void ViewEditElementWidget::afterSuccessfulUpdate()
{ }

void ViewEditElementWidget::applyContentChanges()
{
    Element* target = element();
    if (!target || !(target->availableOperations() & UpdateOperation) || isUpdateRunning())
        return;
    target->performOperation(UpdateOperation, exportElementData(), 0);
}

void ViewEditElementWidget::reset()
{
    setChanged(false);
}

void ViewEditElementWidget::blockEditWidget(bool block)
{
    _editBlocked = block;
    // Only elements that can be updated have an edit state; the others stay usable.
    if (element() && (element()->availableOperations() & UpdateOperation))
        setInputsReadOnly(block || isUpdateRunning());
    Q_EMIT editStateChanged(block);
}

bool ViewEditElementWidget::isChanged() const
{
    return _changed;
}

bool ViewEditElementWidget::isEditBlocked() const
{
    return _editBlocked;
}

bool ViewEditElementWidget::isUpdateRunning() const
{
    return TaskObserver::instance(nullptr)->isUpdateRunning(element());
}

void ViewEditElementWidget::setUnchanged()
{
    setChanged(false);
}

void ViewEditElementWidget::changeContent()
{
    setChanged(true);
}

void ViewEditElementWidget::setChanged(bool changed)
{
    if (_changed == changed)
        return;
    _changed = changed;
    Q_EMIT changedStateChanged(changed);
}

// Edits made while an update writes would be lost to the read that follows it.
void ViewEditElementWidget::lockInputsWhileUpdating()
{
    if (element() && (element()->availableOperations() & UpdateOperation))
        setInputsReadOnly(_editBlocked || isUpdateRunning());
}

// Only the widget's own form is locked: a dialog parented to the widget (a question asked
// while a task ends, say) is a window of its own and must stay answerable.
void ViewEditElementWidget::setInputsReadOnly(bool readOnly)
{
    const bool editable = !readOnly && isEditable();
    const auto ownInputs = [this](auto* input) {
        return input->window() == window();
    };
    for (auto* edit : findChildren<QTextEdit*>()) {
        if (ownInputs(edit))
            edit->setReadOnly(!editable);
    }
    for (auto* edit : findChildren<QPlainTextEdit*>()) {
        if (ownInputs(edit))
            edit->setReadOnly(!editable);
    }
    for (auto* edit : findChildren<QLineEdit*>()) {
        if (ownInputs(edit))
            edit->setReadOnly(!editable);
    }
    for (auto* input : findChildren<QWidget*>()) {
        const bool switchable = qobject_cast<QAbstractButton*>(input)
            || qobject_cast<QComboBox*>(input) || qobject_cast<QAbstractSpinBox*>(input);
        if (switchable && ownInputs(input))
            input->setEnabled(editable);
    }
}
