// What of the driver only the tests reach: the current records, the type
// table, the counters, the property lookups behind the variables, and the
// runtime operations no format program uses yet (a format that needs one moves its declaration
// to runtime/driver.h).
#pragma once

#include <cstdint>

#include "reader/design.h"

// Shallow copies of the records being written; they own nothing. Zeroed
// before anything was made current and after the run's release.
extern Net CurrentNet;
extern NetPin CurrentNetPin;
extern PartInstance CurrentPart;

// Type codes of the built-in variables; DesignText behaves exactly as Text.
constexpr int32_t IntegerType = 0;
constexpr int32_t CharacterType = 1;
constexpr int32_t TextType = 2;
constexpr int32_t DesignTextType = 5;

// The type code of variable INDEX (0 to 40), or -1 for any other index.
int32_t VariableType(int index);
// Starts the part walk afresh: the part counter becomes 0; 0.
int ResetPartWalk();
// 1-based position of CurrentNet during the net loop; 0 before it.
int32_t CurrentNetNumber();
// Steps the part walk has taken since it was reset.
int32_t CurrentPartCounter();
// Value of the first property named exactly NAME of the current net or
// part, or EmptyText.
const char* FindNetProperty(const char* name);
const char* FindPartProperty(const char* name);
// The text behind a Text or DesignText variable (not a copy); EmptyText for
// other indexes.
const char* VariableText(int index);
// LocalSignal := NetName, TEXT and NetLocalNumber formatted; 0.
int BuildLocalSignal(const char* text);
