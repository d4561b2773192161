// The release at the end of every run.
#include <cstddef>

#include "formats/layout.h"
#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/tables.h"
#include "reader/templates.h"
#include "runtime/channels.h"
#include "runtime/driver.h"
#include "runtime/symbols.h"

void ReleaseRun() {
    ReleaseDesignTables();
    ReleaseSymbols();
    ReleaseChannelNames();
    ReleaseDesignHeader();
    ReleaseTemplates();
    ReleaseDriver();
    ReleaseLayout();
    ReleasePipeText();
    ReleaseBasePath();
}
