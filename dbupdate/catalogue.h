#ifndef CATALOGUE_H
#define CATALOGUE_H

#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QObject;
class QTranslator;
QT_END_NAMESPACE

// Loads the catalogue name from the first directory of searchPath that holds it, as
// QTranslator::load() finds it there. A catalogue whose structure does not hold together would
// crash the lookup of a text; it is noted on standard error and treated as absent. Null when
// no sound catalogue was found.
QTranslator *loadCatalogue(const QString &name, const QStringList &searchPath, QObject *parent);

#endif // CATALOGUE_H
