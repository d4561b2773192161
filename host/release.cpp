// Freeing texts, and the release at the end of every run.
#include <cstddef>

#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/templates.h"
#include "runtime/channels.h"
#include "runtime/driver.h"
#include "runtime/symbols.h"

const char EmptyText[] = "";

void FreeText(const char* text) {
    if (text == nullptr || text == EmptyText) return;
    ReleaseMemory(const_cast<char*>(text));
}

void ReleaseRun() {
    ReleaseDesignTables();
    ReleaseSymbols();
    ReleaseChannelNames();
    ReleaseDesignHeader();
    ReleaseTemplates();
    ReleaseDriver();
    ReleasePipeText();
    ReleaseBasePath();
}
