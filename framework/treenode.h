#pragma once

#include "covaframework_export.h"

#include <QString>

// Place of an element in the console tree: under the node whose type is the parent type.
class COVAFRAMEWORK_EXPORT TreeNode
{
public:
    TreeNode();
    virtual ~TreeNode();

    QString nodeType() const;
    QString parentType() const;
    int level() const;
    QString displayName() const;

protected:
    QString _nodeType;
    QString _parentType;
    int _level;
    QString _displayName;
};
