// Placeholder until the combine templates land.
#include "reader/templates.h"

CombineTemplate PartValueCombine = {nullptr};
CombineTemplate FootprintCombine = {nullptr};

void ReleaseTemplates() {}
