#pragma once

#include "elementwidget.h"

class ElementData;

// An element widget with a view state and an edit state. Any edit marks the content changed;
// applying exports the edited record and sends the update operation for the element.
class COVAFRAMEWORK_EXPORT ViewEditElementWidget : public ElementWidget
{
    Q_OBJECT
public:
    ViewEditElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~ViewEditElementWidget() override;

    virtual ElementData* exportElementData() const;
    virtual void afterSuccessfulRead(Element* element, ElementData* data);
    virtual void afterSuccessfulUpdate();
    virtual void applyContentChanges();
    virtual void reset();
    virtual void blockEditWidget(bool block);

    bool isChanged() const;
    bool isEditBlocked() const;
    // An update of the element is under way: the form stays locked and Apply starts no other.
    bool isUpdateRunning() const;
    void setUnchanged();

public Q_SLOTS:
    void changeContent();

Q_SIGNALS:
    void changedStateChanged(bool changed);
    void editStateChanged(bool blocked);

private:
    void setChanged(bool changed);
    void setInputsReadOnly(bool readOnly);
    void lockInputsWhileUpdating();

    bool _changed;
    bool _editBlocked;
};
