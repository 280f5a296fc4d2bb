#include "platform.h"

PlatformApi& Platform() {
    // Never destroyed: Serial's destructor runs at exit and still needs the table.
    static PlatformApi* table = new PlatformApi(SystemPlatform());
    return *table;
}
