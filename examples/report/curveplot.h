#ifndef CURVEPLOT_H
#define CURVEPLOT_H

#include <analysisresult.h>

#include <QtCore/qstring.h>

// Draws a raw clot curve and its optical-density form one above the other, with axes and labels,
// and saves the picture as PNG. False when the file cannot be written.
bool plotCurves(const ClotCurve &raw, const ClotCurve &od, const QString &title,
                const QString &fileName);

#endif // CURVEPLOT_H
