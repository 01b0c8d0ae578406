#ifndef UPDATEDATA_H
#define UPDATEDATA_H

#include "updatebase.h"

// Brings data.db to schema version 2: patient columns, case-blind dictionaries, the detail
// table and the trigger that removes a deleted patient's rows.
class UpdateData : public UpdateBase
{
    Q_OBJECT

public:
    explicit UpdateData(QObject *parent = nullptr);

    bool update() override;
    int targetVersion() const override;
};

#endif // UPDATEDATA_H
