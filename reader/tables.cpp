// Placeholder until the design tables land.
#include "host/run.h"
#include "reader/design.h"

DesignTables Design = {};
DesignHeader Header = {EmptyText, EmptyText, EmptyText, EmptyText, EmptyText, EmptyText,
                       EmptyText, EmptyText, EmptyText, EmptyText, EmptyText, EmptyText};
PipeText* PipeTextList = nullptr;

void ReleaseDesignTables() {}
void ReleaseDesignHeader() {}
void ReleasePipeText() {}
