#pragma once

#include <QFlags>

// Console operations sent to elements; the values are bits so that an element can offer a set.
enum OperationType {
    NoOperation = 0,
    StartupOperation = 1,
    ReadOperation = 32,
    UpdateOperation = 64,
};
Q_DECLARE_FLAGS(OperationTypes, OperationType)
Q_DECLARE_OPERATORS_FOR_FLAGS(OperationTypes)

enum ElementWidgetRole {
    NoWidgetRole = 0,
    MainWidgetRole = 1,
};
