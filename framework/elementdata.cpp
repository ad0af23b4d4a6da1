#include "elementdata.h"

ElementData::~ElementData() = default;

void ElementData::configureParams()
{ }
