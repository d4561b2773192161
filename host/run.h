// Run control: the shared empty text, freeing texts, and the release that
// returns all run state to its load-time state.
#pragma once

// The one shared empty text that every text field holds when it has no
// value. It is never freed and never written.
extern const char EmptyText[];

// Frees TEXT unless it is absent or EmptyText.
void FreeText(const char* text);
// Frees everything a run built and returns the run state to its load-time
// state: design tables, symbols, channel names, header, templates, buffers.
void ReleaseRun();
// The design base path as the host gave it, held whole for the run;
// EmptyText outside a run.
const char* DesignBasePath();
// Frees the held design base path (part of ReleaseRun).
void ReleaseBasePath();
