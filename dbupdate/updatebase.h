#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#endif // UPDATEBASE_H
