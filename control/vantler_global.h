// Export marker for the vantler library: hosts link against it and the Designer plugin loads it.
#pragma once

#include <QtCore/qglobal.h>

#if defined(VANTLER_BUILDING)
#define VANTLER_EXPORT Q_DECL_EXPORT
#else
#define VANTLER_EXPORT Q_DECL_IMPORT
#endif
