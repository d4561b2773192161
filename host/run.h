// Run control: the release that returns all run state to its load-time
// state.
#pragma once

// Frees everything a run built and returns the run state to its load-time
// state: design tables, symbols, channel names, header, templates, buffers.
void ReleaseRun();
// Frees the held design base path (part of ReleaseRun).
void ReleaseBasePath();
