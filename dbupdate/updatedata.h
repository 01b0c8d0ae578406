#ifndef UPDATEDATA_H
#define UPDATEDATA_H

#endif // UPDATEDATA_H
