#ifndef CURVEPLOT_H
#define CURVEPLOT_H

#include <analysisresult.h>

#include <QtCore/qstring.h>
#include <QtCore/qvector.h>

// Draws a raw clot curve and its optical-density form one above the other, with axes and labels,
// and saves the picture as PNG. False when the file cannot be written.
bool plotCurves(const ClotCurve &raw, const ClotCurve &od, const QString &title,
                const QString &fileName);

// Tick values for an axis from min to max: steps of 1, 2 or 5 times a power of ten, about five of
// them and never more than most. Empty when the range has no finite, positive width.
QVector<double> axisTicks(double min, double max, int most = 12);

#endif // CURVEPLOT_H
