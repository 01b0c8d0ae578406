#ifndef CORE_GLOBAL_H
#define CORE_GLOBAL_H

#include <QtCore/qglobal.h>

//! \file core_global.h
//! The export macro of the library.

//! \def CORE_EXPORT
//! Marks a class or function of the library's interface: exported when the library itself is built
//! (CORE_LIBRARY), imported by applications, empty when CORE_STATIC is defined.

#if defined(CORE_STATIC)
#  define CORE_EXPORT
#elif defined(CORE_LIBRARY)
#  define CORE_EXPORT Q_DECL_EXPORT
#else
#  define CORE_EXPORT Q_DECL_IMPORT
#endif

#endif // CORE_GLOBAL_H
