#include "treenode.h"

TreeNode::TreeNode()
    : _level(0)
{ }

TreeNode::~TreeNode() = default;

QString TreeNode::nodeType() const
{
    return _nodeType;
}

QString TreeNode::parentType() const
{
    return _parentType;
}

int TreeNode::level() const
{
    return _level;
}

QString TreeNode::displayName() const
{
    return _displayName;
}
