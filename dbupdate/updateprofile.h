#ifndef UPDATEPROFILE_H
#define UPDATEPROFILE_H

#include "updatebase.h"

// Brings profile.db to schema version 3 and writes the default settings, reagents and
// calibration choices of the assays.
class UpdateProfile : public UpdateBase
{
    Q_OBJECT

public:
    explicit UpdateProfile(QObject *parent = nullptr);

    bool update() override;
    int targetVersion() const override;
};

#endif // UPDATEPROFILE_H
