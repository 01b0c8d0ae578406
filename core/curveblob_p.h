#ifndef CURVEBLOB_P_H
#define CURVEBLOB_P_H

//
//  W A R N I N G
//  -------------
//
// This file is not part of the Core API. It may change from version to version without notice.
//

#include "analysisresult.h"

// The curve blob as stored in data.db: the bytes that QDataStream's default (big-endian) form of
// the curve gives, point type and segment vector. Empty when the blob would not fit a QByteArray.
QByteArray clotCurveToBlob(const ClotCurve &curve);

#endif // CURVEBLOB_P_H
