// An application that found the library through its installed CMake package.
#include <analysisresult.h>
#include <core.h>
#include <tavoglobal.h>

#include <cstdio>

int main()
{
    Core core;
    const unsigned short crc = crc16("123456789", 9);
    bool flag = false;
    {
        BoolLocker locker(flag, true);
        if (!flag)
            return 1;
    }
    std::printf("crc16 %04X\n", crc);
    return crc == 0x29B1 && !flag ? 0 : 1;
}
