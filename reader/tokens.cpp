// Placeholder until the token reader lands.
#include "reader/tokens.h"
