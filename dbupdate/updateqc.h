#ifndef UPDATEQC_H
#define UPDATEQC_H

#include "updatebase.h"

// The step of qc.db: the file is opened and its version read like every step's, but its
// schema has not changed, so nothing is written to it.
class UpdateQc : public UpdateBase
{
    Q_OBJECT

public:
    explicit UpdateQc(QObject *parent = nullptr);

    bool update() override;
};

#endif // UPDATEQC_H
