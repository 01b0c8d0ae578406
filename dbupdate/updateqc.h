#ifndef UPDATEQC_H
#define UPDATEQC_H

#endif // UPDATEQC_H
