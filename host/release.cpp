// Freeing texts and lists, and the release at the end of every run.
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

void FreePropertyList(Property* list) {
    while (list != nullptr) {
        Property* next = list->next;
        FreeText(list->name);
        FreeText(list->value);
        ReleaseMemory(list);
        list = next;
    }
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
