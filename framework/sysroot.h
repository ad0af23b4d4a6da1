#pragma once

#include "covaframework_export.h"

#include <QString>

// Every fixed absolute path of the system is built here, so that a sandbox root can
// redirect all of them at once: tests and the demo never touch the real /etc, /boot or /root.
namespace Sysroot {

// The sandbox root taken once from DIGSIG_SYSROOT; empty when none is in effect.
COVAFRAMEWORK_EXPORT QString root();

COVAFRAMEWORK_EXPORT bool isActive();

// The real location of an absolute system path: the path itself, or the path under the root.
COVAFRAMEWORK_EXPORT QString path(const QString& systemPath);

// The system path an administrator knows for a real location: the root taken off again (the
// sandbox root itself is "/").
COVAFRAMEWORK_EXPORT QString systemPath(const QString& realPath);

} // namespace Sysroot
