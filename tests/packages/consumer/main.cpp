// An application built against the installed Core, the same source for CMake, pkg-config and
// qmake.
#include <analysisresult.h>
#include <tavocore_version.h>
#include <tavoglobal.h>

#include <cstdio>

#if TAVOCORE_VERSION < TAVOCORE_VERSION_CHECK(1, 0, 0)
#error "Core 1.0.0 or later is needed"
#endif

int main()
{
    const unsigned short crc = crc16("123456789", 9);
    const QString text = AnalysisResult(12.34).toString(AnalysisResult::NumberOnly);
    std::printf("consumer: Core %s on Qt %s, crc16 %04X, result %s\n", TAVOCORE_VERSION_STR,
                qVersion(), crc, qPrintable(text));
    return crc == 0x29B1 && text == QLatin1String("12.3") ? 0 : 1;
}
